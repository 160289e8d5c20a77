#pragma once

#include <QDialog>

class QLabel;

// The About box: version label and a small animated logo.
class TForm4 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm4(QWidget *parent = nullptr);
    QLabel *lblVersion = nullptr;
};
