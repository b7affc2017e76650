#include "main_window/frmostrel.h"

#include "about_window/frmabout.h"
#include "alarm_window/frmitstime.h"
#include "clock/alarm_due.h"
#include "clock/time_text.h"
#include "platform/alarm_notification.h"
#include "platform/always_on_top.h"
#include "platform/clock_source.h"
#include "platform/fonts.h"
#include "platform/screen_waker.h"
#include "platform/second_timer.h"
#include "platform/suspend_inhibitor.h"
#include "platform/twips.h"
#include "platform/wave_sound.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <utility>

using namespace ostrel;
using platform::TwipsRect;

namespace {

const QString AlarmOff = QStringLiteral("Alarm Is Off");
const QString AlarmOn = QStringLiteral("Alarm Is On");
const QString PauseCaption = QStringLiteral("Pause");
const QString PausedCaption = QStringLiteral("PAUSED!");

constexpr QColor DisplayGreen(0, 255, 0);
constexpr QColor DisplayText(64, 64, 64);
constexpr QColor TotalRed(255, 0, 0);
constexpr QColor Black(0, 0, 0);
constexpr QColor PauseGrey(192, 192, 192);

QPushButton *Button(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QLabel *Label(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

// A label with a flat one-pixel dark grey line round it. Drawn here, not by the frame: a plain frame
// takes the text colour (lblTotal's red) and a sunken one shades two of its sides white.
class BorderedLabel final : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QLabel::paintEvent(event);
        QPainter painter(this);
        painter.setPen(DisplayText);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// Green box, dark grey centred text, a single dark grey line round it whatever colour the text is.
QLabel *DisplayBox(QWidget *parent, const char *name, QRect geometry, qreal pointSize, QColor text = DisplayText)
{
    QLabel *label = new BorderedLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(1, 1, 1, 1);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, DisplayGreen);
    palette.setColor(QPalette::WindowText, text);
    label->setPalette(palette);
    label->setFont(platform::DisplayFont(pointSize, 700));
    return label;
}

QComboBox *List(QWidget *parent, const char *name, const QString &accessibleName, QRect geometry)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setAccessibleName(accessibleName);
    list->setGeometry(geometry);
    list->setEditable(false);
    // A style sheet, not the palette: the desktop style would shade the green as a raised button. The
    // arrow is a picture of our own: the style's drawn arrow is cached anew for every repaint's palette.
    // The open list is green with dark grey text as well.
    list->setStyleSheet(QStringLiteral("QComboBox { background-color: rgb(0,255,0); color: rgb(64,64,64);"
                                       " border: 1px solid rgb(64,64,64); padding-left: 3px; }"
                                       " QComboBox::down-arrow { image: url(:/down-arrow.png); }"
                                       " QComboBox QAbstractItemView { background-color: rgb(0,255,0);"
                                       " color: rgb(64,64,64); }"));
    return list;
}

QFont DateFont()
{
    return platform::DisplayFont(18, 700);
}

void SetTextColour(QLabel *label, QColor colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// The time a box holds. A box the stopwatch wrote always reads back; text that does not is no time
// at all, never midnight.
std::optional<clock::ClockValue> TimeIn(const QLabel *box)
{
    return clock::ParseTime(box->text());
}

// The elapsed text, or nothing when either end cannot be read: no figure rather than a wrong one.
QString ElapsedOrNothing(std::optional<clock::ClockValue> start, std::optional<clock::ClockValue> end, qint64 paused)
{
    if (!start || !end)
        return QString();
    return clock::ElapsedText(clock::Elapsed(*start, *end, paused));
}

} // namespace

frmOstrel::frmOstrel(QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmOstrel"));
    setWindowTitle(QStringLiteral("Ostrel!"));
    setWindowIcon(QIcon(QStringLiteral(":/ostrel.ico")));
    setFont(platform::DialogFont());
    CreateControls();
    CreateMenus();
    ConnectHandlers();
    Form_Load();
}

frmOstrel::~frmOstrel() = default;

void frmOstrel::CreateControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(platform::TwipsSize(4200, 2385));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    cmdAlarm = Button(client, "cmdAlarm", AlarmOff, TwipsRect(2520, 1200, 1215, 375));
    cmbMinute = List(client, "cmbMinute", QStringLiteral("Minute"), TwipsRect(3120, 1920, 615, 315));
    cmbHour = List(client, "cmbHour", QStringLiteral("Hour"), TwipsRect(2520, 1920, 615, 315));
    AROnTop1 = new platform::AlwaysOnTop(this);
    AROnTop1->setObjectName(QStringLiteral("AROnTop1"));
    suspendInhibitor_ = new platform::SuspendInhibitor(this);
    alarmNotice_ = new platform::AlarmNotification(this);
    screenWaker_ = new platform::ScreenWaker(alarmNotice_, this);

    Frame1 = new QGroupBox(client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(TwipsRect(120, 0, 1935, 2295));
    cmdStart = Button(Frame1, "cmdStart", QStringLiteral("Start"), TwipsRect(120, 240, 615, 255));
    cmdFinish = Button(Frame1, "cmdFinish", QStringLiteral("Finish"), TwipsRect(120, 600, 615, 255));
    cmdFinish->setEnabled(false);
    cmdPause = Button(Frame1, "cmdPause", PauseCaption, TwipsRect(600, 960, 855, 375));
    cmdPause->setEnabled(false);
    QPalette pausePalette = cmdPause->palette();
    pausePalette.setColor(QPalette::Button, PauseGrey);
    cmdPause->setPalette(pausePalette);
    lblHowLong = Label(Frame1, "lblHowLong", QString(), TwipsRect(120, 1440, 1695, 255));
    lblHowLong->setAlignment(Qt::AlignCenter);
    lblHowLong->setVisible(false);
    lblStart = DisplayBox(Frame1, "lblStart", TwipsRect(840, 240, 975, 255), 9);
    lblFinish = DisplayBox(Frame1, "lblFinish", TwipsRect(840, 600, 975, 255), 9);
    lblTotal = DisplayBox(Frame1, "lblTotal", TwipsRect(120, 1680, 1695, 495), 18, TotalRed);

    Timer1 = new platform::SecondTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    lblAlarm = Label(client, "lblAlarm", QStringLiteral("Set Alarm"), TwipsRect(2760, 1680, 735, 255));
    lblTime = DisplayBox(client, "lblTime", TwipsRect(2400, 720, 1455, 255), 9);
    lblDate = DisplayBox(client, "lblDate", TwipsRect(2280, 120, 1695, 495), 18);

    // A screen reader reads each box's text as its name and says what the box is from the
    // description. A fixed name would hide the text itself: Qt's labels offer no other way to it.
    Frame1->setAccessibleName(QStringLiteral("Stopwatch"));
    lblStart->setAccessibleDescription(QStringLiteral("Start time"));
    lblFinish->setAccessibleDescription(QStringLiteral("Finish time"));
    lblTotal->setAccessibleDescription(QStringLiteral("Time elapsed"));
    lblTime->setAccessibleDescription(QStringLiteral("Time"));
    lblDate->setAccessibleDescription(QStringLiteral("Date"));

    // Tab order: Start, Finish, Pause, then the alarm button and the hour and minute lists.
    QWidget *const order[] = {cmdStart, cmdFinish, cmdPause, cmdAlarm, cmbHour, cmbMinute};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    // The first in the tab order has the focus when the window opens: Space starts the stopwatch.
    cmdStart->setFocus();
}

void frmOstrel::CreateMenus()
{
    mnuWindow = menuBar()->addMenu(QStringLiteral("&Window"));
    mnuWindow->setObjectName(QStringLiteral("mnuWindow"));
    mnuWindowAlwaysOnTop = mnuWindow->addAction(QStringLiteral("&Always On Top"));
    mnuWindowAlwaysOnTop->setObjectName(QStringLiteral("mnuWindowAlwaysOnTop"));
    mnuWindowAlwaysOnTop->setCheckable(true);
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout = mnuHelp->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    // A menu opens as a window of its own, in the desktop's font unless given the menu bar's.
    for (QMenu *menu : {mnuWindow, mnuHelp})
        menu->setFont(font());
}

void frmOstrel::ConnectHandlers()
{
    connect(cmdStart, &QPushButton::clicked, this, &frmOstrel::cmdStart_Click);
    connect(cmdPause, &QPushButton::clicked, this, &frmOstrel::cmdPause_Click);
    connect(cmdFinish, &QPushButton::clicked, this, &frmOstrel::cmdFinish_Click);
    connect(cmdAlarm, &QPushButton::clicked, this, &frmOstrel::cmdAlarm_Click);
    // activated, not currentIndexChanged: only the user's own choice counts, not Reset's refill.
    connect(cmbHour, &QComboBox::activated, this, &frmOstrel::cmbHour_Click);
    connect(cmbMinute, &QComboBox::activated, this, &frmOstrel::cmbMinute_Click);
    connect(Timer1, &platform::SecondTimer::timeout, this, &frmOstrel::Timer1_Timer);
    // A checkable action has flipped its mark before it reports the click; the handler reads the
    // mark and flips it itself, as it does when called directly, so undo Qt's flip first.
    connect(mnuWindowAlwaysOnTop, &QAction::triggered, this, [this](bool checked) {
        mnuWindowAlwaysOnTop->setChecked(!checked);
        mnuWindowAlwaysOnTop_Click();
    });
    connect(mnuAbout, &QAction::triggered, this, &frmOstrel::mnuAbout_Click);
    // A click on the desktop's notification of the alarm brings the alarm window forward.
    connect(alarmNotice_, &platform::AlarmNotification::Clicked, this, [this] {
        if (itsTime_ && itsTime_->isVisible()) {
            itsTime_->raise();
            itsTime_->activateWindow();
        }
    });
}

void frmOstrel::Form_Load()
{
    RestoreOnTop = false;
    Reset();
    Timer1->Start();
}

void frmOstrel::Reset()
{
    cmdAlarm->setText(AlarmOff);
    ClearAlarmTime();
    cmbHour->clear();
    cmbMinute->clear();
    for (int h = 0; h < 24; ++h)
        cmbHour->addItem(clock::TwoDigits(h));
    for (int m = 0; m < 60; ++m)
        cmbMinute->addItem(clock::TwoDigits(m));
    // Filling an empty list selects its first item; nothing is chosen until the user chooses.
    cmbHour->setCurrentIndex(-1);
    cmbMinute->setCurrentIndex(-1);
}

// The stopwatch ---------------------------------------------------------------------------------

void frmOstrel::cmdStart_Click()
{
    lblFinish->clear();
    lblTotal->clear();
    lblHowLong->clear();
    lblStart->setText(clock::TimeText(platform::CurrentTime()));
    cmdFinish->setEnabled(true);
    cmdStart->setEnabled(false);
    cmdPause->setEnabled(true);
}

void frmOstrel::cmdPause_Click()
{
    if (cmdPause->text() == PauseCaption) {
        cmdPause->setText(PausedCaption);
        cmdFinish->setEnabled(false);
        PauseStarted = platform::CurrentTime();
        lblHowLong->setVisible(true);
        lblHowLong->setText(QStringLiteral("Current Time Elapsed"));
        ShowRunningTime();
        return;
    }
    cmdPause->setText(PauseCaption);
    const clock::ClockValue now = platform::CurrentTime();
    cmdFinish->setEnabled(true);
    AddPausedSeconds(clock::PauseLength(PauseStarted, now));
    SetTextColour(lblTotal, Black);
    lblHowLong->clear();
    lblTotal->clear();
}

void frmOstrel::cmdFinish_Click()
{
    lblFinish->setText(clock::TimeText(platform::CurrentTime()));
    cmdStart->setEnabled(true);
    cmdFinish->setEnabled(false);
    cmdPause->setEnabled(false);
    ShowTotalTime();
    PausedSeconds = 0;
}

void frmOstrel::ShowTotalTime()
{
    lblTotal->setText(ElapsedOrNothing(TimeIn(lblStart), TimeIn(lblFinish), PausedSeconds));
    lblHowLong->setText(QStringLiteral("Total Time Elapsed"));
}

void frmOstrel::ShowRunningTime()
{
    SetTextColour(lblTotal, TotalRed);
    lblTotal->setText(ElapsedOrNothing(TimeIn(lblStart), platform::CurrentTime(), PausedSeconds));
}

qint64 frmOstrel::AddPausedSeconds(qint64 seconds)
{
    PausedSeconds += seconds;
    return PausedSeconds;
}

// The alarm --------------------------------------------------------------------------------------

void frmOstrel::cmbHour_Click()
{
    ClearAlarmTime();
    cmdAlarm->setText(AlarmOff);
}

void frmOstrel::cmbMinute_Click()
{
    ClearAlarmTime();
    cmdAlarm->setText(AlarmOff);
}

void frmOstrel::cmdAlarm_Click()
{
    if (cmdAlarm->text() == AlarmOff) {
        cmdAlarm->setText(AlarmOn);
        ArmAlarm();
    } else {
        cmdAlarm->setText(AlarmOff);
        ClearAlarmTime();
    }
}

void frmOstrel::ArmAlarm()
{
    const QString hour = cmbHour->currentText();
    const QString minute = cmbMinute->currentText();
    if (hour.isEmpty() || minute.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Ostrel!"), QStringLiteral("Set alarm time first!"));
        cmdAlarm->setText(AlarmOff);
        return;
    }
    cmdAlarm->setText(AlarmOn);
    AlarmTime = clock::ParseTime(hour + u':' + minute);
    // Its moment is the next one from now: armed at 07:30:05 for 07:30, that is tomorrow's.
    alarmCheckedAt_ = platform::Clock().Now();
    // An idle machine that the desktop put to sleep would miss the alarm. Held until the alarm is
    // turned off, or has been answered: while its window waits for the user, the machine stays up.
    suspendInhibitor_->Hold(QStringLiteral("An alarm is set for ") + hour + u':' + minute);
    // The alarm's sound module loads now rather than on the way to the alarm window; after the new
    // caption has been painted.
    QTimer::singleShot(0, this, [] { platform::PrepareSound(); });
}

// Disarms: the alarm time is gone, and with it the request that keeps the machine awake.
void frmOstrel::ClearAlarmTime()
{
    AlarmTime.reset();
    suspendInhibitor_->Release();
}

void frmOstrel::Timer1_Timer()
{
    lblTime->setText(clock::FormatLongTime(platform::CurrentTime()));
    // For tools/measure_ticks.sh: every tick as the user sees it, one line each.
    static const bool traceTicks = qEnvironmentVariableIsSet("OSTREL_TRACE_TICKS");
    if (traceTicks)
        std::fprintf(stderr, "tick %s\n", qPrintable(lblTime->text()));
    platform::SetFittedText(lblDate, DateFont(), platform::CurrentDateText());
    // Every moment since the last tick counts, so a tick that came late (a stalled or suspended
    // program, a clock set forward, an hour skipped) still fires, unless that is more than an hour late.
    const QDateTime now = platform::Clock().Now();
    const QDateTime since = std::exchange(alarmCheckedAt_, now);
    if (!AlarmTime || clock::CheckAlarm(since, now, clock::ToQTime(*AlarmTime)) != clock::AlarmCheck::Due)
        return;
    // Ticks go on under the open alarm window to keep the clock live; they never open it twice.
    if (itsTime_ && itsTime_->isVisible())
        return;
    // An open list or menu holds the keyboard and would keep it from the alarm window, so that the
    // window manager's close key never reaches it. Closing one chooses nothing: the alarm stays as it
    // is until its window has been closed.
    while (QWidget *popup = QApplication::activePopupWidget()) {
        if (!popup->close())
            break;
    }
    if (!itsTime_)
        itsTime_ = std::make_unique<frmItsTime>();
    // The alarm must be seen: a blanked screen lights up as if the mouse had moved and is kept lit while
    // the window waits, and the desktop is told, so that a locked screen shows it too. Both end when the
    // window has been closed.
    screenWaker_->Start();
    alarmNotice_->Show(clock::ToQTime(*AlarmTime).toString(QStringLiteral("hh:mm")));
    itsTime_->ShowModal();
    screenWaker_->Stop();
    alarmNotice_->Withdraw();
    Reset();
    mnuWindowAlwaysOnTop->setChecked(false);
    // The menu now says the window is not held on top; release it so that it is not.
    AROnTop1->setOntop(false);
}

// Window extras ----------------------------------------------------------------------------------

void frmOstrel::mnuWindowAlwaysOnTop_Click()
{
    mnuWindowAlwaysOnTop->setChecked(!mnuWindowAlwaysOnTop->isChecked());
    AROnTop1->setOntop(mnuWindowAlwaysOnTop->isChecked());
}

void frmOstrel::mnuAbout_Click()
{
    if (mnuWindowAlwaysOnTop->isChecked()) {
        RestoreOnTop = true;
        mnuWindowAlwaysOnTop_Click();
    } else {
        RestoreOnTop = false;
    }
    if (!about_)
        about_ = std::make_unique<frmAbout>();
    about_->ShowModal();
    if (RestoreOnTop)
        mnuWindowAlwaysOnTop_Click();
}
