#include "servicepanel.h"

#include "config.h"
#include "panelstate.h"

#include <algorithm>

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

constexpr int kRows = 4;

QString colorName(const QColor &c)
{
    return c.name();
}

// Drawn at twice the shown size so the smooth down-scale gives clean anti-aliased edges.
QPixmap makeStatusIcon(const QColor &disc, bool tick)
{
    QPixmap pm(36, 36);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(4, 4, 28, 28));
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (tick) {
        QPainterPath path(QPointF(12, 18.5));
        path.lineTo(16.5, 23);
        path.lineTo(24.5, 13.5);
        p.drawPath(path);
    } else {
        p.drawLine(QPointF(13, 13), QPointF(23, 23));
        p.drawLine(QPointF(23, 13), QPointF(13, 23));
    }
    return pm;
}

QWidget *transparentWidget(QWidget *parent)
{
    auto *w = new QWidget(parent);
    w->setStyleSheet(QStringLiteral("QWidget { background: transparent; }"));
    return w;
}

QString titleButtonStyle(const QString &image)
{
    return QStringLiteral("QPushButton { background:transparent; border:none; }"
                          "QPushButton:hover, QPushButton:pressed { background:%1; border-radius:6px; }")
               .arg(skinValue(QStringLiteral("color/cancelBtnHoverColor"), QStringLiteral("#666666"))) +
           QStringLiteral("QPushButton { border-image: url(%1); }").arg(skinFilePath(image));
}

QPushButton *titleButton(const QString &objectName, const QString &image, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(objectName);
    button->setProperty("buttonType", QStringLiteral("typeIconBtn"));
    button->setFixedSize(20, 20);
    button->setStyleSheet(titleButtonStyle(image));
    return button;
}

QString autoStartStyle(const QString &textColor)
{
    return QStringLiteral(
               "QCheckBox { color:%1; font-size:12px; font-weight:400; line-height:17px; spacing:6px; }")
               .arg(textColor) +
           QStringLiteral(
               "QCheckBox::indicator:unchecked { image:url(%1); }"
               "QCheckBox::indicator:checked { image:url(%2/Skin/Client/custom_color/red/login_check.png); }")
               .arg(skinFilePath(QStringLiteral("MainFrame/Login/login_uncheck.png")), applicationDir());
}

QString rowStyle(const QColor &c)
{
    return QStringLiteral("color:%1; font-size:13px;").arg(colorName(c));
}

// Setting a style sheet re-polishes the widget even when the text is the same, which made a
// once-a-second status the hidden tray's largest idle cost.
void setStyleIfChanged(QWidget *widget, const QString &style)
{
    if (widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

// What the process rows show depends on these fields only.
bool sameRows(const PipeClient::Status &a, const PipeClient::Status &b)
{
    return a.connected == b.connected &&
           std::equal(a.processes.cbegin(), a.processes.cend(), b.processes.cbegin(), b.processes.cend(),
                      [](const PipeClient::ProcessInfo &p, const PipeClient::ProcessInfo &q) {
                          return p.name == q.name && p.port == q.port && p.running == q.running;
                      });
}

} // namespace

ServicePanel::ServicePanel(QWidget *parent) : QWidget(parent)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(639, 342);
    buildUi();
}

void ServicePanel::buildUi()
{
    const ThemeColors &colors = themeColors();
    setStyleSheet(QStringLiteral("ServicePanel { background-color:%1; border:1px solid %2; }")
                      .arg(colorName(colors.themeColor), colorName(colors.dlgBorderColor)));

    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    mainLayout->addWidget(buildHeader());
    mainLayout->addSpacing(8);
    mainLayout->addWidget(buildCard(), 1);
    mainLayout->addWidget(buildFooter());

    connect(&clockTimer, &QTimer::timeout, this, &ServicePanel::updateRunningTime);
    // Coarse, like the tray's other two timers: Qt moves coarse ticks by up to 5% onto round
    // marks of the second, so the clock's ticks meet the 300 ms language check every 600 ms and
    // often the 1000 ms poll, and an idle tray wakes about two times a second less. A tick up
    // to 10 ms late does not show in a display of whole seconds.
    clockTimer.start(200);

    applyStatus(PipeClient::Status());
}

// Title bar, also the drag handle of the frameless window.
QWidget *ServicePanel::buildHeader()
{
    header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    header->installEventFilter(this);
    header->setFixedHeight(68);
    header->setStyleSheet(QStringLiteral("QWidget { background: transparent; }"));
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(30, 20, 30, 20);
    headerLayout->setSpacing(10);

    auto *logo = new QLabel(header);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setFixedSize(28, 28);
    logo->installEventFilter(this);
    const QPixmap logoPixmap(clientAssetPath(QStringLiteral("custom/tray_logo_28.png")));
    if (!logoPixmap.isNull())
        logo->setPixmap(logoPixmap.scaled(28, 28, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    headerLayout->addWidget(logo);

    titleLabel = new QLabel(tr("%1 Service Management").arg(appName()), header);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->installEventFilter(this);
    titleLabel->setStyleSheet(QStringLiteral("color:%1; font-size:14px; font-weight:600;")
                                  .arg(colorName(themeColors().oneLevelTextColor)));
    headerLayout->addWidget(titleLabel);
    headerLayout->addStretch();

    auto *minButton =
        titleButton(QStringLiteral("minBtn"), QStringLiteral("MainFrameUI/title_minimize.png"), header);
    auto *closeButton =
        titleButton(QStringLiteral("closeBtn"), QStringLiteral("MainFrameUI/close.png"), header);
    headerLayout->addWidget(minButton);
    headerLayout->addWidget(closeButton);
    connect(minButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(closeButton, &QPushButton::clicked, this, &ServicePanel::closeRequested);
    return header;
}

// Card with the overall state and the process rows, inset from the panel's sides.
QWidget *ServicePanel::buildCard()
{
    auto *content = transparentWidget(this);
    auto *contentLayout = new QHBoxLayout(content);
    contentLayout->setContentsMargins(30, 0, 30, 0);
    contentLayout->setSpacing(0);

    auto *card = new QFrame(content);
    card->setObjectName(QStringLiteral("serviceCard"));
    card->setFixedHeight(192);
    card->setStyleSheet(QStringLiteral("QFrame#serviceCard { background-color:%1; border-radius:8px; }")
                            .arg(colorName(themeColors().trayCardColor)));
    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(24, 22, 24, 22);
    cardLayout->setSpacing(8);
    contentLayout->addWidget(card);

    cardLayout->addLayout(buildCardTitle(card));
    for (int i = 0; i < kRows; ++i)
        cardLayout->addLayout(buildProcessRow(card, i));
    cardLayout->addStretch();
    return content;
}

// The system's icon and name on the left, the service's state on the right.
QHBoxLayout *ServicePanel::buildCardTitle(QWidget *card)
{
    const ThemeColors &colors = themeColors();
    auto *cardHeader = new QHBoxLayout;
    cardHeader->setSpacing(8);
    auto *systemIcon = new QLabel(card);
    systemIcon->setFixedSize(24, 24);
    const QPixmap systemPixmap(skinFilePath(QStringLiteral("Logic/system_icon.png")));
    if (!systemPixmap.isNull())
        systemIcon->setPixmap(systemPixmap);
    cardHeader->addWidget(systemIcon);

    systemNameLabel = new QLabel(tr("Customer Management System"), card);
    systemNameLabel->setObjectName(QStringLiteral("systemNameLabel"));
    systemNameLabel->setStyleSheet(QStringLiteral("color:%1; font-size:15px; font-weight:600;")
                                       .arg(colorName(colors.oneLevelTextColor)));
    cardHeader->addWidget(systemNameLabel);
    cardHeader->addStretch();

    statusIconLabel = new QLabel(card);
    statusIconLabel->setObjectName(QStringLiteral("statusIconLabel"));
    statusIconLabel->setFixedSize(18, 18);
    cardHeader->addWidget(statusIconLabel);

    statusTextLabel = new QLabel(tr("Service not running"), card);
    statusTextLabel->setObjectName(QStringLiteral("statusTextLabel"));
    statusTextLabel->setTextFormat(Qt::PlainText);
    statusTextLabel->setStyleSheet(
        QStringLiteral("color:%1; font-size:14px;").arg(colorName(colors.defaultRedColor)));
    cardHeader->addWidget(statusTextLabel);
    return cardHeader;
}

// One process row: name, port and state.
QHBoxLayout *ServicePanel::buildProcessRow(QWidget *card, int index)
{
    const ThemeColors &colors = themeColors();
    auto *row = new QHBoxLayout;
    row->setContentsMargins(32, 0, 0, 0);
    row->setSpacing(8);
    // Names, ports and states come from the service: shown as they are, never as markup.
    nameLabels[index] = new QLabel(card);
    nameLabels[index]->setObjectName(QStringLiteral("nameLabel%1").arg(index));
    nameLabels[index]->setTextFormat(Qt::PlainText);
    nameLabels[index]->setStyleSheet(rowStyle(colors.oneLevelTextColor));
    portLabels[index] = new QLabel(card);
    portLabels[index]->setObjectName(QStringLiteral("portLabel%1").arg(index));
    portLabels[index]->setTextFormat(Qt::PlainText);
    portLabels[index]->setStyleSheet(rowStyle(colors.oneLevelTextColor));
    portLabels[index]->setFixedWidth(120);
    portLabels[index]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    stateLabels[index] = new QLabel(card);
    stateLabels[index]->setObjectName(QStringLiteral("stateLabel%1").arg(index));
    stateLabels[index]->setTextFormat(Qt::PlainText);
    stateLabels[index]->setStyleSheet(rowStyle(colors.thirdLevelTextColor));
    row->addWidget(nameLabels[index]);
    row->addWidget(portLabels[index]);
    row->addStretch();
    row->addWidget(stateLabels[index]);
    return row;
}

// Footer: running time and the auto-start switch.
QWidget *ServicePanel::buildFooter()
{
    const QString textColor = colorName(themeColors().oneLevelTextColor);
    auto *footer = transparentWidget(this);
    footer->setFixedHeight(74);
    auto *footerLayout = new QVBoxLayout(footer);
    footerLayout->setContentsMargins(30, 0, 30, 30);
    footerLayout->setSpacing(0);
    auto *footerRow = transparentWidget(footer);
    footerRow->setFixedHeight(56);
    auto *footerRowLayout = new QHBoxLayout(footerRow);
    footerRowLayout->setContentsMargins(0, 0, 0, 0);
    footerRowLayout->setSpacing(10);
    footerLayout->addWidget(footerRow);

    runningTimeLabel = new QLabel(tr("Running Time"), footerRow);
    runningTimeLabel->setObjectName(QStringLiteral("runningTimeLabel"));
    runningTimeLabel->setStyleSheet(QStringLiteral("color:%1; font-size:13px;").arg(textColor));
    footerRowLayout->addWidget(runningTimeLabel);

    runningTimeValueLabel = new QLabel(QStringLiteral("--:--:--"), footerRow);
    runningTimeValueLabel->setObjectName(QStringLiteral("runningTimeValueLabel"));
    runningTimeValueLabel->setTextFormat(Qt::PlainText);
    runningTimeValueLabel->setStyleSheet(
        QStringLiteral("color:%1; font-size:14px; font-weight:600;").arg(textColor));
    footerRowLayout->addWidget(runningTimeValueLabel);
    footerRowLayout->addStretch();

    autoStartCheckBox = new QCheckBox(tr("Auto-start"), footerRow);
    autoStartCheckBox->setObjectName(QStringLiteral("autoStartCheckBox"));
    autoStartCheckBox->setFixedHeight(16);
    autoStartCheckBox->setStyleSheet(autoStartStyle(textColor));
    footerRowLayout->addWidget(autoStartCheckBox);
    connect(autoStartCheckBox, &QCheckBox::toggled, this, [this](bool on) { emit autoStartRequested(on); });
    return footer;
}

void ServicePanel::applyStatus(PipeClient::Status st)
{
    // A healthy service repeats its process list every second; rows drawn from the same list
    // are left as they are rather than translated and formatted again.
    const bool rowsCurrent = rowsDrawn && sameRows(st, lastStatus);
    lastStatus = st;
    const ThemeColors &colors = themeColors();

    const int state = panelHeaderState(st);
    if (state != lastHeaderState) {
        lastHeaderState = state;
        QString text;
        QColor textColor;
        QColor discColor;
        switch (state) {
        case HeaderStopped:
            text = tr("Service not running");
            textColor = colors.defaultRedColor;
            discColor = colors.stoppedIconColor;
            break;
        case HeaderRestarting:
            text = tr("Service restarting...");
            textColor = colors.restartingColor;
            discColor = colors.restartingColor;
            break;
        default:
            text = tr("Service running");
            textColor = colors.customGreen;
            discColor = colors.customGreen;
            break;
        }
        statusIconLabel->setPixmap(makeStatusIcon(discColor, state == HeaderRunning)
                                       .scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        statusTextLabel->setText(text);
        statusTextLabel->setStyleSheet(QStringLiteral("color: rgb(%1,%2,%3); font-size:14px;")
                                           .arg(textColor.red())
                                           .arg(textColor.green())
                                           .arg(textColor.blue()));
    }

    // Offline, only the rows the last known list covers are redrawn; the others keep their names.
    if (!rowsCurrent) {
        const int shown = std::min<int>(kRows, int(st.processes.size()));
        for (int i = 0; i < kRows; ++i) {
            if (i < shown) {
                const PipeClient::ProcessInfo &p = st.processes.at(i);
                const bool running = st.connected && p.running;
                nameLabels[i]->setText(p.name);
                portLabels[i]->setText(p.port >= 1 ? QString::number(p.port) : QStringLiteral("--"));
                stateLabels[i]->setText(running ? tr("Service running") : tr("Service not running"));
                setStyleIfChanged(stateLabels[i],
                                  rowStyle(running ? colors.customGreen : colors.defaultRedColor));
            } else if (st.connected) {
                nameLabels[i]->clear();
                portLabels[i]->clear();
                stateLabels[i]->clear();
            }
        }
        rowsDrawn = true;
    }

    if (st.connected) {
        if (!clockRunning || (lastReportedUptime >= 0 && st.uptime < lastReportedUptime)) {
            uptimeBase = st.uptime;
            clockElapsed.start();
            clockRunning = true;
            lastShownSeconds = -1;
        }
        lastReportedUptime = st.uptime;
        updateRunningTime();

        autoStartCheckBox->setEnabled(true);
        const bool wasBlocked = autoStartCheckBox->blockSignals(true);
        autoStartCheckBox->setChecked(st.autoStart);
        autoStartCheckBox->blockSignals(wasBlocked);
    } else {
        updateRunningTime();
        clockRunning = false;
        clockElapsed.invalidate();
        autoStartCheckBox->setEnabled(false);
    }
}

void ServicePanel::updateRunningTime()
{
    if (!clockRunning || !clockElapsed.isValid())
        return;
    // A negative uptime from the service counts as zero; it would also collide with the "nothing
    // shown yet" marker and leave the label blank.
    runningSeconds = std::max<qint64>(0, uptimeBase + clockElapsed.elapsed() / 1000);
    showRunningTime();
}

// A hidden panel's label is left alone: relaying it out every second is most of what an idle
// tray would spend on a panel nobody sees. Showing the panel brings it up to date.
void ServicePanel::showRunningTime()
{
    if (runningSeconds < 0 || runningSeconds == lastShownSeconds || !isVisible())
        return;
    lastShownSeconds = runningSeconds;
    runningTimeValueLabel->setText(runningTimeText(runningSeconds));
}

void ServicePanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showRunningTime();
}

void ServicePanel::retranslate()
{
    titleLabel->setText(tr("%1 Service Management").arg(appName()));
    systemNameLabel->setText(tr("Customer Management System"));
    runningTimeLabel->setText(tr("Running Time"));
    autoStartCheckBox->setText(tr("Auto-start"));
    lastHeaderState = -1;
    rowsDrawn = false;
    applyStatus(lastStatus);
}

bool ServicePanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != header && watched != titleLabel)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() != Qt::LeftButton)
            break;
        dragOffset = me->globalPosition().toPoint() - frameGeometry().topLeft();
        dragging = true;
        return true;
    }
    case QEvent::MouseMove:
        if (!dragging)
            break;
        move(static_cast<QMouseEvent *>(event)->globalPosition().toPoint() - dragOffset);
        return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            break;
        dragging = false;
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ServicePanel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    // The style sheet's border is not drawn for a top-level QWidget subclass, so draw the frame.
    QPainter p(this);
    p.setPen(QPen(themeColors().dlgBorderColor, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
