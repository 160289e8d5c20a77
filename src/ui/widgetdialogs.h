#pragma once

#include "dialogs.h"

class QWidget;

// Message boxes and pickers as the technician sees them.
class WidgetDialogs : public Dialogs
{
public:
    explicit WidgetDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    Answer message(Kind kind, const QString &text, Buttons buttons) override;
    bool inputText(const QString &caption, const QString &prompt, QString &value) override;
    QString saveFileName(const QString &caption, const QString &folder,
                         const QString &suggestedName, const QString &filter,
                         const QString &defaultSuffix) override;
    QString pickFolder(const QString &caption, const QString &start) override;

private:
    QWidget *m_parent;
};
