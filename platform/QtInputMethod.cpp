#include "platform/QtInputMethod.h"

void QtInputMethod::switchOnHiragana(QWidget*)
{
}
