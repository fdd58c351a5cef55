#pragma once

#include <QDialog>

class MainWindow;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The Preferences window: edits the excluded callsigns. Its text box also takes the access
// code that switches the main window into its debug view.
class frmOptions : public QDialog {
    Q_OBJECT

public:
    // The whole text of the box that switches on the debug view.
    static inline const QString kAccessCode = QStringLiteral("trace on");

    explicit frmOptions(MainWindow& main);

    // Loads the window and shows it modally, until OK, Cancel, the close box or the access
    // code closes it.
    void showModal();

    QGroupBox* Frame1;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label2;
    QLineEdit* txtCallsigns;
    QPushButton* Command1;
    QPushButton* Command2;

private:
    void Form_Load();
    void Command1_Click();
    void txtCallsigns_Change();

    MainWindow& main_;
    bool closedByAccessCode_ = false;
};
