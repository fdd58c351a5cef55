#include "frmOptions.h"

#include "DialogFrame.h"
#include "window/MainWindow.h"
#include "window/Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

namespace {
template <typename W>
W* place(W* widget, QWidget* parent, int left, int top, int width, int height) {
    widget->setParent(parent);
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}
} // namespace

frmOptions::frmOptions(MainWindow& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Preferences"));
    makeFixedDialog(*this, px(7275), px(4650));

    Frame1 = place(new QGroupBox(QStringLiteral("Callsigns excluded")), this, 120, 120, 6975, 1935);
    QFont bold = Frame1->font();
    bold.setFamily(QStringLiteral("Sans Serif"));
    bold.setPointSizeF(8.25);
    bold.setBold(true);
    Frame1->setFont(bold);

    // The frame's children keep the dialog's normal font; only the frame caption is bold.
    QFont normal = font();
    normal.setBold(false);
    normal.setPointSizeF(font().pointSizeF());
    Label1 = place(new QLabel(QStringLiteral(
                       "Here you may enter some callsigns, where no noise is generated.")),
                   Frame1, 120, 360, 6615, 255);
    Label3 = place(
        new QLabel(QStringLiteral(
            "You do NOT have to enter your own username here. It is detected automatically!")),
        Frame1, 120, 600, 6795, 255);
    // A little wider than the other lines: its caption must be readable to its last mark.
    Label3->setStyleSheet(QStringLiteral("color: #800000;"));
    Label2 = place(new QLabel(QStringLiteral("Example: DLH123,DGF1411,EDDH_TWR")), Frame1, 120, 960,
                   6255, 255);
    txtCallsigns = place(new QLineEdit, Frame1, 120, 1320, 6615, 285);
    // A line edit keeps 32,767 characters by default and would cut a longer list on OK.
    txtCallsigns->setMaxLength(std::numeric_limits<int>::max());
    for (QWidget* child : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label3),
                           static_cast<QWidget*>(Label2), static_cast<QWidget*>(txtCallsigns)}) {
        child->setFont(normal);
    }

    Command1 = place(new QPushButton(QStringLiteral("OK")), this, 5880, 4080, 1095, 495);
    Command2 = place(new QPushButton(QStringLiteral("Cancel")), this, 4560, 4080, 1095, 495);
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);

    setTabOrder(txtCallsigns, Command1);
    setTabOrder(Command1, Command2);

    connect(txtCallsigns, &QLineEdit::textChanged, this, &frmOptions::txtCallsigns_Change);
    connect(Command1, &QPushButton::clicked, this, &frmOptions::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void frmOptions::showModal() {
    Form_Load();
    // A stored list that is the access code itself switches on the debug view at load.
    if (!closedByAccessCode_) {
        centreOn(*this, main_);
        exec();
    }
}

void frmOptions::Form_Load() {
    setWindowIcon(main_.windowIcon());
    txtCallsigns->setText(main_.vars.excludedCallsigns);
    txtCallsigns->setFocus();
}

void frmOptions::Command1_Click() {
    QString text = txtCallsigns->text();
    text.remove(QLatin1Char(' '));
    txtCallsigns->setText(text);
    main_.vars.excludedCallsigns = txtCallsigns->text().toUpper();
    accept();
}

void frmOptions::txtCallsigns_Change() {
    if (txtCallsigns->text() != kAccessCode) {
        return;
    }
    main_.messageBox(QStringLiteral("DEBUG"), QStringLiteral("Success, press OK!"),
                     QMessageBox::Critical);
    main_.setHeightTwips(MainWindow::kDebugModeSize.height);
    main_.setWidthTwips(MainWindow::kDebugModeSize.width);
    main_.lstSpeakers->setVisible(true);
    main_.lstUsers->setVisible(true);
    closedByAccessCode_ = true;
    reject();
}
