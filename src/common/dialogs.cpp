#include "dialogs.h"

Dialogs::Answer ScriptedDialogs::message(Kind kind, const QString &text, Buttons buttons)
{
    shown.append({kind, text, buttons});
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

QString ScriptedDialogs::nextText()
{
    return texts.isEmpty() ? QString() : texts.takeFirst();
}

bool ScriptedDialogs::inputText(const QString &caption, const QString &, QString &value)
{
    captions.append(caption);
    if (texts.isEmpty())
        return false;
    value = texts.takeFirst();
    return true;
}

QString ScriptedDialogs::saveFileName(const QString &caption, const QString &folder,
                                      const QString &suggestedName, const QString &filter,
                                      const QString &defaultSuffix)
{
    captions.append(caption);
    lastSave = QStringList{folder, suggestedName, filter, defaultSuffix};
    return nextText();
}

QString ScriptedDialogs::pickFolder(const QString &caption, const QString &)
{
    captions.append(caption);
    return nextText();
}

QStringList ScriptedDialogs::shownTexts() const
{
    QStringList out;
    for (const auto &s : shown)
        out.append(s.text);
    return out;
}
