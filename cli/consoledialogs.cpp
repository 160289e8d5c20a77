#include "consoledialogs.h"

ConsoleDialogs::ConsoleDialogs(std::function<void(const QString &)> print, bool yes)
    : m_print(std::move(print)), m_yes(yes)
{
}

Dialogs::Answer ConsoleDialogs::message(Kind kind, const QString &text, Buttons buttons)
{
    // Message boxes break their lines with CR LF.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
    switch (buttons) {
    case Buttons::Ok:
        if (kind == Kind::Error) {
            m_refused = true;
            m_errors.append(shown);
            m_print(QStringLiteral("error: ") + shown);
        } else {
            m_print((kind == Kind::Warning ? QStringLiteral("warning: ") : QString()) + shown);
        }
        return Answer::Ok;
    case Buttons::OkCancel:
    case Buttons::YesNo: {
        const bool okCancel = buttons == Buttons::OkCancel;
        m_print(QStringLiteral("question: ") + shown +
                (m_yes ? QStringLiteral(" -> yes (--yes)")
                       : QStringLiteral(" -> no (give --yes to "
                                        "go on)")));
        if (!m_yes)
            m_refused = true;
        if (okCancel)
            return m_yes ? Answer::Ok : Answer::Cancel;
        return m_yes ? Answer::Yes : Answer::No;
    }
    }
    return Answer::Cancel;
}

bool ConsoleDialogs::inputText(const QString &, const QString &, QString &)
{
    return false;
}

QString ConsoleDialogs::saveFileName(const QString &, const QString &, const QString &,
                                     const QString &, const QString &)
{
    return QString();
}

QString ConsoleDialogs::pickFolder(const QString &, const QString &)
{
    return QString();
}
