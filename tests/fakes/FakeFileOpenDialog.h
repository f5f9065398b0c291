#pragma once

#include "platform/FileOpenDialog.h"

#include <QStringList>

// A FileOpenDialog that "chooses" the next of a list of prepared answers; an
// answer of std::nullopt-like kCancel is a cancel.
class FakeFileOpenDialog : public FileOpenDialog
{
public:
    static inline const QString kCancel = QStringLiteral("<cancel>");

    void setFilter(const QString& f) override { filter = f; }
    void setCancelError(bool on) override { cancelError = on; }
    void showOpen() override
    {
        ++shownCount;
        const QString answer = answers.isEmpty() ? kCancel : answers.takeFirst();
        if (answer == kCancel) {
            chosen.clear();
            if (cancelError)
                throw DialogCancelled();
            return;
        }
        chosen = answer;
    }
    QString fileName() const override { return chosen; }

    QStringList answers;
    QString filter;
    bool cancelError = false;
    QString chosen;
    int shownCount = 0;
};
