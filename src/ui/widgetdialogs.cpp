#include "widgetdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

Dialogs::Answer WidgetDialogs::message(Kind kind, const QString &text, Buttons buttons)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(text);
    switch (kind) {
    case Kind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Kind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Kind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Kind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool WidgetDialogs::inputText(const QString &caption, const QString &prompt, QString &value)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

QString WidgetDialogs::saveFileName(const QString &caption, const QString &folder,
                                    const QString &suggestedName, const QString &filter,
                                    const QString &defaultSuffix)
{
    QFileDialog dialog(m_parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setSizeGripEnabled(true);
    // Asking before a file is replaced is the dialog's default; say so.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!suggestedName.isEmpty())
        dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString WidgetDialogs::pickFolder(const QString &caption, const QString &start)
{
    return QFileDialog::getExistingDirectory(m_parent, caption, start);
}
