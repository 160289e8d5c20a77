#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Every message box, question and input the program shows goes through this
// seam, so that logic and window code can be tested with scripted answers.
class Dialogs
{
public:
    enum class Kind { Error, Warning, Information, Confirmation };
    enum class Answer { Ok, Cancel, Yes, No };
    enum class Buttons { Ok, OkCancel, YesNo };

    virtual ~Dialogs() = default;
    // Shows a message and returns the button pressed.
    virtual Answer message(Kind kind, const QString &text, Buttons buttons) = 0;
    // Text input box; false when cancelled.
    virtual bool inputText(const QString &caption, const QString &prompt, QString &value) = 0;
    // Save-file dialog (resizable, asks before replacing a file); the
    // default suffix is added to a name typed without one. Empty when cancelled.
    virtual QString saveFileName(const QString &caption, const QString &folder,
                                 const QString &suggestedName, const QString &filter,
                                 const QString &defaultSuffix) = 0;
    // Folder picker; empty when cancelled.
    virtual QString pickFolder(const QString &caption, const QString &start) = 0;

    void error(const QString &text) { message(Kind::Error, text, Buttons::Ok); }
    void warning(const QString &text) { message(Kind::Warning, text, Buttons::Ok); }
    bool askYesNo(const QString &text)
    {
        return message(Kind::Confirmation, text, Buttons::YesNo) == Answer::Yes;
    }
};

// Test double: records every text shown and returns queued answers. Without
// a queued answer a message gets the first button of its set.
class ScriptedDialogs : public Dialogs
{
public:
    struct Shown {
        Kind kind;
        QString text;
        Buttons buttons;
    };

    Answer message(Kind kind, const QString &text, Buttons buttons) override;
    bool inputText(const QString &caption, const QString &prompt, QString &value) override;
    QString saveFileName(const QString &caption, const QString &folder,
                         const QString &suggestedName, const QString &filter,
                         const QString &defaultSuffix) override;
    QString pickFolder(const QString &caption, const QString &start) override;

    QList<Shown> shown;
    QList<Answer> answers;
    QStringList texts;        // queued answers of the input box, file and folder dialogs
    QStringList captions;     // captions of the input, file and folder dialogs shown
    // Folder, suggested name, filter and default suffix of the last save dialog.
    QStringList lastSave;

    QStringList shownTexts() const;

private:
    QString nextText();
};
