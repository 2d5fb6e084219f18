#include "support/widgets/dlgAbout.h"

#include "support/FileOps.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadialGradient>

#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

constexpr int clientWidth = 395;
constexpr int clientHeight = 242;
constexpr int pictureSize = 145;

QFont captionFont(int pixelHeight)
{
    QFont font;
    font.setFamilies({"Times New Roman", "Liberation Serif", "DejaVu Serif"});
    font.setStyleHint(QFont::Serif);
    font.setBold(true);
    font.setPixelSize(pixelHeight);
    return font;
}

QLabel* makeCaption(QWidget* parent, const char* name, const QString& text, int pixelHeight, int top, int height)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(captionFont(pixelHeight));
    label->setGeometry(pictureSize, top, clientWidth - pictureSize - 8, height);
    return label;
}

// A land mass as a closed smooth outline through the given points.
QPainterPath blob(std::initializer_list<QPointF> points)
{
    const std::vector<QPointF> p(points);
    QPainterPath path;
    const size_t n = p.size();
    path.moveTo((p[n - 1] + p[0]) / 2);
    for (size_t i = 0; i < n; ++i)
        path.quadTo(p[i], (p[i] + p[(i + 1) % n]) / 2);
    path.closeSubpath();
    return path;
}

} // namespace

QPixmap atlasdeskLogo(qreal devicePixelRatio)
{
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QPixmap pixmap(QSize(qRound(128 * dpr), qRound(128 * dpr)));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPointF centre(60, 66);
    const qreal radius = 52;
    QPainterPath globe;
    globe.addEllipse(centre, radius, radius);

    // Soft shadow under the globe.
    QRadialGradient shadow(QPointF(62, 121), 44);
    shadow.setColorAt(0, QColor(0, 0, 0, 70));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(QPointF(62, 121), 44, 6);

    // Ocean.
    QRadialGradient ocean(centre + QPointF(-18, -20), radius * 1.5);
    ocean.setColorAt(0, QColor(0x7c, 0xc4, 0xf2));
    ocean.setColorAt(0.55, QColor(0x2b, 0x7f, 0xc8));
    ocean.setColorAt(1, QColor(0x12, 0x47, 0x8a));
    painter.setBrush(ocean);
    painter.drawPath(globe);

    painter.save();
    painter.setClipPath(globe);

    // Continents, loosely the Americas and Europe-Africa.
    QLinearGradient land(0, 14, 0, 118);
    land.setColorAt(0, QColor(0x8c, 0xd1, 0x6a));
    land.setColorAt(1, QColor(0x3e, 0x9a, 0x4a));
    painter.setBrush(land);
    painter.setPen(QPen(QColor(0x2e, 0x6e, 0x36), 1.2));
    painter.drawPath(blob({{22, 30}, {40, 22}, {52, 30}, {46, 44}, {36, 50}, {40, 62},
                           {34, 72}, {26, 62}, {16, 52}, {14, 40}}));
    painter.drawPath(blob({{40, 74}, {52, 76}, {54, 90}, {46, 108}, {40, 112}, {36, 96}, {34, 82}}));
    painter.drawPath(blob({{70, 24}, {86, 20}, {100, 30}, {94, 40}, {84, 42}, {74, 38}}));
    painter.drawPath(blob({{72, 48}, {90, 46}, {104, 56}, {98, 76}, {88, 96}, {80, 98},
                           {76, 80}, {68, 64}}));

    // Graticule.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1.1));
    for (qreal w : {radius * 0.35, radius * 0.72})
        painter.drawEllipse(centre, w, radius);
    painter.drawLine(QPointF(centre.x(), centre.y() - radius), QPointF(centre.x(), centre.y() + radius));
    for (qreal f : {-0.62, -0.3, 0.0, 0.3, 0.62}) {
        const qreal y = centre.y() + f * radius;
        const qreal half = radius * std::sqrt(1 - f * f);
        painter.drawLine(QPointF(centre.x() - half, y), QPointF(centre.x() + half, y));
    }

    // Shine on the upper left.
    QRadialGradient shine(centre + QPointF(-20, -24), radius * 0.9);
    shine.setColorAt(0, QColor(255, 255, 255, 110));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawPath(globe);
    painter.restore();

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x0d, 0x35, 0x6a), 2));
    painter.drawPath(globe);

    // Map pin on the upper right: a data set found on the globe.
    const QPointF tip(98, 56);
    const QPointF head(98, 26);
    QPainterPath pin;
    pin.moveTo(tip);
    pin.cubicTo(QPointF(92, 46), QPointF(84, 38), QPointF(84, 27));
    pin.arcTo(QRectF(head.x() - 14, head.y() - 14, 28, 28), 180, -180);
    pin.cubicTo(QPointF(112, 38), QPointF(104, 46), tip);
    pin.closeSubpath();
    QLinearGradient pinFill(84, 12, 112, 56);
    pinFill.setColorAt(0, QColor(0xf2, 0x5c, 0x54));
    pinFill.setColorAt(1, QColor(0xb7, 0x1c, 0x1c));
    painter.setPen(QPen(QColor(0x7f, 0x10, 0x10), 1.5));
    painter.setBrush(pinFill);
    painter.drawPath(pin);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(head, 5.5, 5.5);

    return pixmap;
}

TdlgAboutBox::TdlgAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName("dlgAboutBox");
    setWindowTitle("About Atlasdesk");
    setFixedSize(clientWidth, clientHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 0, pictureSize, pictureSize);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(atlasdeskLogo(qApp->devicePixelRatio()));

    lblTitle = makeCaption(this, "lblTitle", "Atlasdesk", 27, 16, 40);
    lblEdition = makeCaption(this, "lblEdition", "View edition", 19, 60, 30);
    lblVersion = makeCaption(this, "lblVersion", "Version 1.0", 16, 94, 26);

    memCredits = new QPlainTextEdit(this);
    memCredits->setObjectName("memCredits");
    memCredits->setReadOnly(true);
    memCredits->setFrameShape(QFrame::NoFrame);
    memCredits->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memCredits->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memCredits->setTextInteractionFlags(Qt::TextSelectableByMouse);
    memCredits->setFocusPolicy(Qt::NoFocus);
    QPalette face = memCredits->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    memCredits->setPalette(face);
    memCredits->setPlainText(QString("Atlasdesk, a browser for shared geodata stores.\n"
                                     "Built with Qt, libxml2 and libxslt.\n"
                                     "Copyright \u00a9 the Atlasdesk team."));
    memCredits->setGeometry(8, pictureSize, clientWidth - 16, 56);

    btOK = new QPushButton("OK", this);
    btOK->setObjectName("btOK");
    btOK->setDefault(true);
    btOK->setGeometry((clientWidth - 75) / 2, clientHeight - 8 - 28, 75, 28);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TdlgAboutBox::FormCreate()
{
    lblEdition->setText("View edition");
    lblVersion->setText("Version " + QString::fromStdString(VersionString(4)));
    lblTitle->setText("Atlasdesk " + QString::fromStdString(VersionString(2)));
}
