#pragma once

#include "dialogs.h"

#include <functional>

// The dialogs of a program without a window: messages go to standard error
// (through `print`), questions get a fixed answer, and inputs are cancelled.
// No bus operation waits for a person.
class ConsoleDialogs : public Dialogs
{
public:
    // `yes`: questions are answered Yes or OK; otherwise No or Cancel.
    ConsoleDialogs(std::function<void(const QString &)> print, bool yes);

    Answer message(Kind kind, const QString &text, Buttons buttons) override;
    bool inputText(const QString &caption, const QString &prompt, QString &value) override;
    QString saveFileName(const QString &caption, const QString &folder,
                         const QString &suggestedName, const QString &filter,
                         const QString &defaultSuffix) override;
    QString pickFolder(const QString &caption, const QString &start) override;

    // An error box was shown, or a question was declined: the operation that
    // asked was refused, not failed on the bus.
    bool refused() const { return m_refused; }
    const QStringList &errors() const { return m_errors; }

private:
    std::function<void(const QString &)> m_print;
    bool m_yes;
    bool m_refused = false;
    QStringList m_errors;
};
