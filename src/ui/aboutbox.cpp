#include "aboutbox.h"

#include "selfreplace.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Two bus wires with a telegram running along them.
class LogoWidget : public QWidget
{
public:
    explicit LogoWidget(QWidget *parent) : QWidget(parent)
    {
        setFixedSize(160, 80);
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            m_phase = (m_phase + 1) % 60;
            update();
        });
        m_timer.start(40);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), QColor(255, 251, 240));
        const int y1 = 28, y2 = 52;
        p.setPen(QPen(QColor(60, 60, 60), 3));
        p.drawLine(10, y1, width() - 10, y1);
        p.drawLine(10, y2, width() - 10, y2);
        for (int i = 0; i < 5; ++i) {
            const qreal x = 10 + std::fmod(m_phase * 2.5 + i * 30.0, width() - 20.0);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(200, 40, 40, 255 - i * 40));
            p.drawEllipse(QPointF(x, (i % 2) ? y2 : y1), 5, 5);
        }
        p.setPen(QColor(30, 30, 30));
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 56, width(), 22), Qt::AlignCenter, QStringLiteral("QBX:BUS"));
    }

private:
    QTimer m_timer;
    int m_phase = 0;
};

} // namespace

TForm4::TForm4(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("About"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new LogoWidget(this), 0, Qt::AlignHCenter);
    lblVersion = new QLabel(QStringLiteral("ver. ") + ProgramVersion + QStringLiteral("\n64bit"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setAlignment(Qt::AlignCenter);
    layout->addWidget(lblVersion);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}
