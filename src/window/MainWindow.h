#pragma once

#include "CheckBox.h"
#include "ComboList.h"
#include "Label.h"
#include "ListBox.h"
#include "ListView.h"
#include "Slider.h"
#include "StatusBar.h"
#include "Timer.h"
#include "Vars.h"

#include <QMainWindow>
#include <QMessageBox>
#include <functional>

class QAction;
class QFrame;
class QMenu;
class QPushButton;

// The window Main: the program's user interface and its shared state. Every part of the
// program reaches its controls, timers and variables through the one instance.
//
// The controls sit at fixed positions on a canvas of 9600 x 7680 twips; the window's size
// reveals more or less of it from the top-left corner.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Outer sizes in twips, frame and caption included, as width x height.
    struct Size {
        int width;
        int height;
    };
    static constexpr Size kCompactSize{3135, 4260};
    static constexpr Size kDebugInformationSize{5675, 3660};
    static constexpr Size kDebugModeSize{9690, 8340};
    // The frame and caption that the outer sizes include: 4 px borders and a 19 px caption.
    static constexpr int kFrameWidthPx = 8;
    static constexpr int kFrameHeightPx = 27;

    explicit MainWindow(QWidget* parent = nullptr);

    // The window's outer size in twips.
    int widthTwips() const { return widthTwips_; }
    int heightTwips() const { return heightTwips_; }
    void setWidthTwips(int twips);
    void setHeightTwips(int twips);

    // The directory that holds the program, config.cfg, errorlog.txt and the sounds.
    QString programDirectory() const { return programDirectory_; }
    void setProgramDirectory(const QString& directory) { programDirectory_ = directory; }

    // Shows a modal message box with an OK button; tests replace it.
    std::function<void(const QString& title, const QString& text, QMessageBox::Icon icon)>
        messageBox;

    // Controls, named as the program knows them.
    ComboList* Combo1;
    Label* Label1;
    Slider* MicVol;
    Label* Label2;
    Slider* NoiseVol;
    Label* Label3;
    Slider* Sense;
    CheckBox* TXpl;
    QPushButton* Command1;
    QFrame* Line1;
    QFrame* Line2;
    Label* lblStatus;
    Label* lblVer;
    Label* lblPID;
    CheckBox* logErrors;
    Label* Label4;
    ListBox* lstSpeakers;
    Label* Label5;
    ListView* lstUsers;
    Label* Label6;
    StatusBar* Status = nullptr;

    QMenu* mnuOptions;
    QAction* mnuPreferences;
    QAction* strich1;
    QAction* mnuDebug;
    QMenu* mnuHelp;
    QAction* mnuTopics;
    QAction* strich2;
    QAction* mnuAbout;

    Timer* MainTimer;
    Timer* CheckTimer;
    Timer* NoiseTimer;
    Timer* MicClickTimer;

    Vars vars;

    QWidget* canvas() const { return canvas_; }

signals:
    // The user closed the window (or the desktop asked it to close).
    void unloadRequested();
    // The window's size or state changed.
    void resized();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <typename W> W* place(W* widget, int left, int top, int width, int height);
    void applySize();

    QWidget* canvas_;
    QString programDirectory_;
    int widthTwips_ = 0;
    int heightTwips_ = 0;
};
