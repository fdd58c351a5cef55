#pragma once

#include "app/Version.h"

#include <QDialog>

class MainWindow;
class QLabel;

// The About window: the product name, the version and the credits.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(MainWindow& main, const ProgramVersion& version = kProgramVersion);

    // "Version " and the three numbers.
    static QString versionText(const ProgramVersion& version);

    // Loads the window and shows it modally until its close box closes it.
    void showModal();

    QLabel* Label1;
    QLabel* Label4;
    QLabel* Label3;
    QLabel* Label7;
    QLabel* Label8;

private:
    void Form_Load();

    MainWindow& main_;
    ProgramVersion version_;
};
