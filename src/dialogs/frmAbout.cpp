#include "frmAbout.h"

#include "DialogFrame.h"
#include "window/MainWindow.h"
#include "window/Maker.h"
#include "window/Twips.h"

#include <QLabel>
#include <algorithm>

namespace {
QLabel* makeLabel(const QString& text, QWidget* parent, int left, int top, int width, int height) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(px(left), px(top), px(width), px(height));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}
} // namespace

frmAbout::frmAbout(MainWindow& main, QString version)
    : QDialog(&main), main_(main), version_(std::move(version)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    makeFixedDialog(*this, px(3270), px(3300));

    Label1 = makeLabel(QStringLiteral("Staticor"), this, 240, 240, 4215, 375);
    QFont title = Label1->font();
    title.setFamily(QStringLiteral("Sans Serif"));
    title.setPointSizeF(9.75);
    title.setBold(true);
    Label1->setFont(title);
    Label4 = makeLabel(QStringLiteral("Version"), this, 240, 480, 2295, 255);
    Label3 =
        makeLabel(QStringLiteral("by ") + QLatin1String(maker::kAuthor), this, 480, 840, 4215, 255);
    Label7 = makeLabel(QLatin1String(maker::kWebAddress), this, 480, 1080, 2655, 255);
    Label7->setStyleSheet(QStringLiteral("color: #0000C0;"));
    Label8 =
        makeLabel(QStringLiteral("Thanks a lot to those guys who spent their time on betatesting."),
                  this, 480, 1560, 2535, 495);
    Label8->setWordWrap(true);
    // With the system's font the credits may need a third line: grow downwards, never clip.
    Label8->resize(Label8->width(),
                   std::max(Label8->height(), Label8->heightForWidth(Label8->width())));
}

QString frmAbout::versionText(const QString& version) {
    return QStringLiteral("Version ") + version;
}

void frmAbout::showModal() {
    Form_Load();
    centreOn(*this, main_);
    exec();
}

void frmAbout::Form_Load() {
    setWindowIcon(main_.windowIcon());
    Label4->setText(versionText(version_));
}
