#include "MainWindow.h"

#include "AppIcon.h"
#include "Twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <algorithm>

namespace {
QFrame* makeLine(QFrame::Shape shape, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

template <typename W> W* MainWindow::place(W* widget, int left, int top, int width, int height) {
    widget->setParent(canvas_);
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), canvas_(new QWidget(this)),
      programDirectory_(QCoreApplication::applicationDirPath()) {
    setObjectName(QStringLiteral("Main"));
    canvas_->setObjectName(QStringLiteral("canvas"));
    setCentralWidget(canvas_);
    setWindowIcon(appIcon());

    messageBox = [this](const QString& title, const QString& text, QMessageBox::Icon icon) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, isVisible() ? this : nullptr);
        box.exec();
    };

    Combo1 = place(new ComboList, 120, 120, 2715, 315);
    Label1 = place(new Label(QStringLiteral("Microphone Click Volume:")), 120, 600, 2415, 255);
    MicVol = place(new Slider(0, 100, 1, 5, 100), 120, 840, 2775, 255);
    Label2 = place(new Label(QStringLiteral("Background Noise Volume")), 120, 1320, 2535, 255);
    NoiseVol = place(new Slider(0, 100, 1, 5, 70), 120, 1560, 2775, 255);
    Label3 = place(new Label(QStringLiteral("Sensitivity")), 120, 2040, 2535, 255);
    Sense = place(new Slider(0, 600, 1, 5, 30), 120, 2280, 2775, 255);
    TXpl = place(new CheckBox(QStringLiteral("Play initial TX-Sound")), 120, 2760, 1455, 495);
    Command1 = place(new QPushButton(QStringLiteral("Apply")), 1680, 2760, 1215, 495);

    Line1 = makeLine(QFrame::HLine, canvas_);
    Line1->setGeometry(0, 0, px(9600), 2);
    Line2 = makeLine(QFrame::VLine, canvas_);
    Line2->setGeometry(px(3120) - 1, 0, 2, px(3960));

    lblStatus = place(new Label(QStringLiteral("-")), 3240, 120, 2775, 255);
    lblVer = place(new Label(QStringLiteral("-")), 3240, 480, 3615, 375);
    lblVer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblPID = place(new Label(QStringLiteral("Detecting Nickname...")), 3240, 840, 2895, 255);
    logErrors = place(new CheckBox(QStringLiteral(
                          "Enable Logging (Errortracking only - Logfile can get very big!)")),
                      3240, 1320, 2295, 735);

    Label4 = place(new Label(QStringLiteral("Speakers:")), 120, 3720, 3615, 255);
    lstSpeakers = place(new ListBox, 120, 3960, 9225, 1425);
    Label5 = place(new Label(QStringLiteral("Userlist:")), 120, 5400, 3135, 255);
    lstUsers = place(new ListView, 120, 5400, 9255, 1695);
    // The caption shares the list's top edge: the rows start below it, so both stay readable.
    lstUsers->reserveTop(px(255));
    Label6 = place(new Label(QStringLiteral(
                       "Notice: The program is now running in memory-eating debug mode. ")),
                   120, 7200, 9015, 255);
    lstSpeakers->setVisible(false);
    lstUsers->setVisible(false);

    // The check boxes' captions wrap within their boxes; where the system's font needs more
    // lines than a box is high, the box grows downwards rather than clip the last line.
    for (CheckBox* box : {TXpl, logErrors}) {
        box->resize(box->width(), std::max(box->height(), box->heightForWidth(box->width())));
    }

    // The user list's caption shares its top with the list; keep it readable above it.
    Label5->raise();

    Status = new StatusBar(this);
    setStatusBar(Status);

    mnuOptions = menuBar()->addMenu(QStringLiteral("Options"));
    mnuPreferences = mnuOptions->addAction(QStringLiteral("Preferences"));
    strich1 = mnuOptions->addSeparator();
    mnuDebug = mnuOptions->addAction(QStringLiteral("Debug Information"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuTopics = mnuHelp->addAction(QStringLiteral("Topics"));
    strich2 = mnuHelp->addSeparator();
    mnuAbout = mnuHelp->addAction(QStringLiteral("About"));

    MainTimer = new Timer(0, this);
    CheckTimer = new Timer(300, this);
    NoiseTimer = new Timer(300, this);
    MicClickTimer = new Timer(0, this);

    // Taken from the tab order of the left column, then the right one.
    setTabOrder(Combo1, MicVol);
    setTabOrder(MicVol, NoiseVol);
    setTabOrder(NoiseVol, Sense);
    setTabOrder(Sense, TXpl);
    setTabOrder(TXpl, Command1);
    setTabOrder(Command1, logErrors);
}

void MainWindow::setWidthTwips(int twips) {
    widthTwips_ = twips;
    applySize();
}

void MainWindow::setHeightTwips(int twips) {
    heightTwips_ = twips;
    applySize();
}

void MainWindow::applySize() {
    // The outer sizes include a frame and caption that the window manager draws outside
    // Qt's client area, so the client area is what remains of them.
    const int width = std::max(1, px(widthTwips_) - kFrameWidthPx);
    // A status bar grown for the system's font takes its extra height from no control.
    const int statusExtra = Status != nullptr ? std::max(0, Status->height() - px(255)) : 0;
    const int height = std::max(1, px(heightTwips_) - kFrameHeightPx + statusExtra);
    if (width != this->width() || height != this->height()) {
        resize(width, height);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit unloadRequested();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    emit resized();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        emit resized();
    }
}
