#include "frmHelp.h"

#include "DialogFrame.h"
#include "window/MainWindow.h"
#include "window/Maker.h"
#include "window/TextBox.h"
#include "window/Twips.h"

#include <QPushButton>

frmHelp::frmHelp(MainWindow& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Help"));
    makeFixedDialog(*this, px(8355), px(6675));

    Help = new TextBox(this);
    Help->setGeometry(px(120), px(120), px(8055), px(5895));
    Command1 = new QPushButton(QStringLiteral("Close"), this);
    Command1->setGeometry(px(3600), px(6120), px(1215), px(495));
    Command1->setAutoDefault(false);
    setTabOrder(Help, Command1);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
}

QStringList frmHelp::helpLines() {
    QStringList lines{
        QStringLiteral("Q: How does it work?"),
        QStringLiteral("A: Run Teamspeak and this program at the same time - enjoy."),
        QString(),
        QStringLiteral("Q: I want to prevent some callsigns from generating noise:"),
        QStringLiteral("A: Go to Options -> Preferences and exclude the callsign"),
        QString(),
        QStringLiteral("Q: How do I report an error?"),
        QStringLiteral(
            "A: Go to Options -> Debug Information and enable 'Logging'. Use the program "
            "until the error occurs, then send the 'errorlog.txt' and the 'config.cfg' "
            "(can be found at the InstallationDirectory) to ") +
            QLatin1String(maker::kSupportEmail),
        QString(),
        QStringLiteral("Q: Can I create own sounds ?"),
        QStringLiteral("A: Yes, this program supports PCM-WAV-Files 11.050Hz Mono 8/16Bit"),
    };
    while (lines.size() < 27) {
        lines.append(QString());
    }
    return lines;
}

void frmHelp::showModal() {
    Form_Load();
    centreOn(*this, main_);
    exec();
}

void frmHelp::Form_Load() {
    setWindowIcon(main_.windowIcon());
    Help->setText(QString());
    for (const QString& line : helpLines()) {
        Help->setText(Help->text() + line + QStringLiteral("\r\n"));
    }
}
