#pragma once

class QDialog;
class QWidget;

// A fixed-size dialog with a close box but without minimise and maximise buttons.
void makeFixedDialog(QDialog& dialog, int clientWidth, int clientHeight);

// Places the dialog at the centre of the window.
void centreOn(QDialog& dialog, const QWidget& window);
