// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "app/window_host.h"
#include "app/window_services.h"
#include "avi/avi_writer.h"
#include "run/avi_output.h"
#include "run/ser_output.h"
#include "settings/orbicrop_settings.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QImage;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTimer;
class StatusBar;
class TGauge;

// The one window: every setting, the preview, the log, the progress and the
// status. Its methods are the reactions to the user; the work itself is the
// core's (RunTestAction, RunProcessAction), which reaches the widgets back
// through a WindowHost. The window owns the processing state and the AVI
// writer for its whole life.
//
// Escape, or closing the window, while a batch runs asks whether to stop it:
// the current file ends after the frame in hand with a valid output, the
// rest are skipped, and the log says so; a close then follows.
//
// Settings are loaded when the window is made and saved when it is destroyed.
// Everything runs on the GUI thread; a run lets the window handle its events
// between frames, so reactions may run inside a run.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(WindowServices services = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Opens these files as if chosen in the open dialog (a drop on the
    // window arrives here). An empty list acts as a cancelled dialog.
    void openFiles(const QStringList& paths);

    const TProcessingState& state() const { return m_state; }
    const QString& settingsPath() const { return m_settingsPath; }
    std::vector<std::string> chosenFiles() const { return m_files; }

    // Controls, named as the user's guide names them.
    QPushButton* btnOpen = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QSlider* trackCOG = nullptr;
    QLabel* lblCog = nullptr;
    QCheckBox* checkPreview = nullptr;
    QCheckBox* checkInverse = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QSlider* trackWidth = nullptr;
    QLabel* lblWidth = nullptr;
    QLabel* Label2 = nullptr;
    QSlider* trackHeight = nullptr;
    QLabel* lblHeight = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblR = nullptr;
    QLabel* lblG = nullptr;
    QLabel* lblB = nullptr;
    QLabel* Label3 = nullptr;
    QRadioButton* checkColor = nullptr;
    QRadioButton* checkY800 = nullptr;
    QCheckBox* checkDebayerSafe = nullptr;
    QPushButton* btnProcess = nullptr;
    QLabel* Label6 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Panel1 = nullptr;
    QLabel* Image = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QLabel* Label5 = nullptr;
    TGauge* Gauge1 = nullptr;
    StatusBar* StatusBar1 = nullptr;
    // Controls added since the guide, named for what they are (kind first,
    // as the given check and track controls are), not numbered after the
    // guide's. "6) More options": the output container and its naming.
    QGroupBox* groupMoreOptions = nullptr;
    QLabel* captionFormat = nullptr;
    QComboBox* comboFormat = nullptr;     // 0: AVI, 1: SER
    QCheckBox* checkWinJupos = nullptr;   // SER only
    // "7) Centring", in the column of "6) More options", above it.
    QGroupBox* groupCentring = nullptr;
    QCheckBox* checkLargestObject = nullptr;
    QCheckBox* checkSurface = nullptr;
    QLabel* captionSurfaceRefresh = nullptr;
    QSpinBox* spinSurfaceRefresh = nullptr;
    QLabel* captionKeepBest = nullptr;
    QSpinBox* spinKeepBest = nullptr;
    QComboBox* comboKeepBestUnit = nullptr;
    QCheckBox* checkBestFrame = nullptr;
    // Options the window never shows; only the settings file changes them.
    QCheckBox* checkIgnoreIncomplete = nullptr;
    QCheckBox* checkAutocolor = nullptr;
    QTimer* timerTest = nullptr;

    // Reactions.
    void FormCreate();
    void FormDestroy();
    void btnOpenClick();
    void btnTestClick();
    void btnProcessClick();
    void trackCOGChange();
    void trackWidthChange();
    void trackHeightChange();
    void checkAutocolorClick();
    void checkPreviewClick();
    void checkColorClick();
    void comboKeepBestUnitChange();
    void comboFormatChange();
    void timerTestTimer();
    void LoadSettings();
    void SaveSettings();
    // What the controls hold now, as the settings file keeps it.
    OrbicropSettings settingsFromControls() const;

    void SetControlsEnabled(bool enabled);

    // Preview looks and window size, for the host.
    void showPreviewPicture(const QImage& picture);
    void showWarningPanel(const QString& caption);
    void showTestPassedPanel(int cropWidth, int cropHeight);
    // cropWidth and cropHeight from the size sliders, shown in their labels.
    void updateCropSize();
    void showCropSize(std::int32_t width, std::int32_t height);
    void showMessage(const QString& text);
    // The centring choices of the group "7) Centring", as the core takes them.
    CentringOptions centring() const;

signals:
    // A test action ran on the chosen files (not when there were none).
    void testRan(bool passed);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void connectReactions();
    void setTabOrder();
    void restartTestTimer();
    void fitToControls();
    // Asks whether to stop the running batch, unless a stop is already on
    // its way or the question is already open; true when the batch will stop.
    bool askToStopBatch();

    // Runs a reaction. An error that escapes it is shown in an error box and
    // the program carries on. A close asked for while a reaction runs is
    // carried out when the outermost one returns.
    template <typename Reaction>
    void guarded(Reaction&& reaction);
    void showError(const QString& message);

    WindowServices m_services;
    QString m_settingsPath;
    TProcessingState m_state;
    std::unique_ptr<TAviWriter> m_aviWriter;
    std::unique_ptr<AviOutput> m_aviOutput;   // the batch's view of m_aviWriter
    WindowHost m_host;
    std::vector<std::string> m_files;
    int m_reactionDepth = 0;
    bool m_closePending = false;
    bool m_batchRunning = false;
    bool m_askingToStop = false;
    bool m_shownOnce = false;
    bool m_destroying = false;
};

// The filter list of the open dialog.
QString OpenDialogFilter();
// Whether a drop on the window accepts the file, by its extension in any case:
// the extensions of the dialog's "All video files".
bool IsVideoFileName(const QString& path);
// The files named on the program's command line (after Qt took its own
// options): every argument after the program's name, less a leading "--".
QStringList FilesFromArguments(const QStringList& arguments);
