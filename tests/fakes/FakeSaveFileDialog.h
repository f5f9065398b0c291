#pragma once

#include "platform/SaveFileDialog.h"

#include <QStringList>

// A SaveFileDialog that "chooses" the next of a list of prepared paths (an
// empty one, or none left, is a cancel) and keeps what it was asked.
class FakeSaveFileDialog : public SaveFileDialog
{
public:
    QString askSavePath(
        const QString& title, const QString& suggestedPath, const QString& description, const QString& suffix) override
    {
        asked.append({ title, suggestedPath, description, suffix });
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    struct Question
    {
        QString title, suggestedPath, description, suffix;
    };
    QStringList answers;
    QList<Question> asked;
};
