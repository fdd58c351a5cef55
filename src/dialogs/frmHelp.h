#pragma once

#include <QDialog>
#include <QStringList>

class MainWindow;
class QPushButton;
class TextBox;

// The Help window: a fixed list of questions and answers.
class frmHelp : public QDialog {
    Q_OBJECT

public:
    explicit frmHelp(MainWindow& main);

    // The 27 lines of the help text, without their line ends.
    static QStringList helpLines();

    // Loads the window and shows it modally until it is closed.
    void showModal();

    TextBox* Help;
    QPushButton* Command1;

private:
    void Form_Load();

    MainWindow& main_;
};
