#pragma once

#include <QDialog>
#include <QString>

class MainWindow;
class QLabel;

// The About window: the product name, the version and the credits.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    // version: the three numbers as text ("1.0.4").
    frmAbout(MainWindow& main, QString version);

    // "Version " and the three numbers.
    static QString versionText(const QString& version);

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
    QString version_;
};
