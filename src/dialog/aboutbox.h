#pragma once

class QWidget;
class Services;

// The about box: the program's name and version, date, author and address in
// an information message owned by the given window. It needs no settings
// window, so the main window shows it too; it changes nothing.
void showAboutBox(QWidget *owner, Services &services);
