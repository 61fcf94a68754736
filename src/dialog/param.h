#pragma once

#include <QString>
#include <QWidget>

#include "lines.h"

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;
class QTimeEdit;
class CounterHost;
class Services;

// The settings window: created at each opening in its design-time state,
// filled from the settings lines when first shown, and deleted by OK,
// "Annulation" or its close button. It writes the settings only on OK, through
// the countdown window; it never touches the settings file or the countdown
// itself, and the target is tried only through the action launcher.
class Param : public QWidget
{
    Q_OBJECT

public:
    Param(CounterHost &host, Services &services, QWidget *parent = nullptr);

    // The about box; needs no settings window, so the main window calls it too.
    static void About2_Click(QWidget *owner, Services &services);

    // The font size of a file or directory box for a text of the given length
    // in characters; an empty text keeps the box's design-time size.
    static qreal fileBoxFontSize(int length, qreal designSize);

    // What the file-open dialog is given and what it answered last.
    struct FileDialogSettings
    {
        QString title;
        QString filter;
        QString initialDirectory;
        QString fileName;
    };

    // What the file-open dialog was given and answered last.
    const FileDialogSettings &fileDialog() const { return m_CommDial; }

public slots:
    void Form_Activate();
    void ParamParc_Click();
    void ParamOK_Click();
    void ParamAnnul_Click();
    void ParamSimul_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The file dialog's answer: the chosen file fills the target boxes.
    void fileChosen(const QString &chosen);
    void buildControls();
    void setTabOrderAndFocus();
    // Names and label relations for screen readers; nothing visible changes.
    void applyAccessibility();
    // A screen too short for the window gets a scrolling one instead.
    void fitIntoScreen();
    void centreOnScreen();
    // Closes the window, which deletes it.
    void unload();
    // The lines as the window's controls hold them, line 0 as it was read.
    LignMatArray linesShown() const;
    // OK has stored the lines (or taken another copy's): the window goes and
    // the countdown window comes back.
    void leaveAfterOk();
    // Another copy saved the file while this window was open: the user
    // chooses between the window's values and that copy's.
    void askWhoseSettings(const LignMatArray &lines);

    // Controls, found by tests through their object names.
    QLabel *m_Label7 = nullptr;
    QLabel *m_Label8 = nullptr;
    QGroupBox *m_Frame1 = nullptr;
    QLabel *m_Label9 = nullptr;
    QTimeEdit *m_ParamTime = nullptr;
    QPushButton *m_About2 = nullptr;
    QGroupBox *m_Frame2 = nullptr;
    QLabel *m_Label2 = nullptr;
    QLineEdit *m_ParamActNom = nullptr;
    QLabel *m_Label11 = nullptr;
    QPushButton *m_ParamParc = nullptr;
    QLabel *m_Label10 = nullptr;
    QLineEdit *m_ParamAppNom = nullptr;
    QLabel *m_Label4 = nullptr;
    QLineEdit *m_ParamAppDir = nullptr;
    QGroupBox *m_Frame3 = nullptr;
    QLabel *m_Label5 = nullptr;
    QPlainTextEdit *m_ParamObs = nullptr;
    QGroupBox *m_Frame4 = nullptr;
    QCheckBox *m_ParamBoxBipDem = nullptr;
    QCheckBox *m_ParamBoxBips = nullptr;
    QCheckBox *m_ParamBoxExec = nullptr;
    QCheckBox *m_ParamBoxFerm = nullptr;
    QPushButton *m_ParamAnnul = nullptr;
    QPushButton *m_ParamSimul = nullptr;
    QPushButton *m_ParamOK = nullptr;
    FileDialogSettings m_CommDial;

    CounterHost &m_host;
    Services &m_services;
    // The settings file as it was when the window was filled, read afresh.
    LignMatArray m_shown;
    bool m_activated = false;  // Form_Activate has run for this opening
    bool m_busy = false;       // asking whose settings to keep
    bool m_leaving = false;    // OK succeeded or "Annulation" started: unloading

};
