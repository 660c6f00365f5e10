// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "app/log_view.h"
#include "app/window_host.h"
#include "app/window_services.h"
#include "avi/avi_writer.h"
#include "capture/name_time.h"
#include "run/batch_result.h"
#include "run/plots.h"
#include "settings/orbicrop_settings.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QImage;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QTimeEdit;
class QSpinBox;
class QTimer;
class FrameViewPanel;
class PlotPanel;
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
    // window arrives here). An empty list acts as a cancelled dialog. Ends
    // a night opened before.
    void openFiles(const QStringList& paths);
    // Opens a folder as a night, as the command-line tool takes one: its
    // captures in capture-time order (with "Subfolders too" its folders'
    // too; with "Join split captures" the parts of a split capture as one)
    // become the open files, and Process runs them as a night: captures
    // done before into the output folder are skipped, and a report of the
    // night is written there and shown in the browser.
    void openFolder(const QString& folder);

    const TProcessingState& state() const { return m_state; }
    const QString& settingsPath() const { return m_settingsPath; }
    // The chosen output folder; empty for the folder of the tested file.
    const QString& outputFolder() const { return m_outputFolder; }
    std::vector<std::string> chosenFiles() const { return m_files; }
    std::size_t testedFile() const { return m_testedFile; }
    // The last night's report; empty before one was written.
    const QString& nightReport() const { return m_nightReport; }

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
    LogView* Memo1 = nullptr;
    QLabel* Panel1 = nullptr;
    QLabel* Image = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QLabel* Label5 = nullptr;
    TGauge* Gauge1 = nullptr;
    StatusBar* StatusBar1 = nullptr;
    // Controls added since the guide, named for what they are (kind first,
    // as the given check and track controls are), not numbered after the
    // guide's, in one column at the window's right edge.
    // The options column: its groups stand on optionsPanel, which
    // optionsArea scrolls when the window is too low for all of them.
    QScrollArea* optionsArea = nullptr;
    QWidget* optionsPanel = nullptr;
    // "6) Output options": the output container, its naming and folder.
    QGroupBox* groupMoreOptions = nullptr;
    QLabel* captionFormat = nullptr;
    QComboBox* comboFormat = nullptr;     // 0: AVI, 1: SER
    QCheckBox* checkWinJupos = nullptr;   // SER only
    // The rate an AVI output plays at (AVI only): the items "30 (default)"
    // and "Source", or a rate typed in.
    QLabel* captionFps = nullptr;
    QComboBox* comboFps = nullptr;
    // Where the outputs go: a chosen folder, or (the reset button) the
    // folder of the tested file. The label shows which.
    QPushButton* btnOutputFolder = nullptr;
    QPushButton* btnOutputFolderReset = nullptr;
    QLabel* lblOutputFolder = nullptr;
    // A failed file's message goes to the log only, and one message at the
    // end of the batch lists the files that failed.
    QCheckBox* checkKeepGoing = nullptr;
    // "8) Centring".
    QGroupBox* groupCentring = nullptr;
    QCheckBox* checkLargestObject = nullptr;
    QCheckBox* checkSurface = nullptr;
    QCheckBox* checkLimb = nullptr;
    QLabel* captionSurfaceRefresh = nullptr;
    QSpinBox* spinSurfaceRefresh = nullptr;
    // "7) Colour and size".
    QGroupBox* groupColour = nullptr;
    QLabel* captionBayer = nullptr;
    QComboBox* comboBayer = nullptr;   // 0: the file's own; then Auto, RGGB, GRBG, GBRG, BGGR
    QCheckBox* checkDebayer = nullptr;
    QLabel* captionDebayerMethod = nullptr;
    QComboBox* comboDebayerMethod = nullptr;   // 0: edge-aware, 1: bilinear
    QCheckBox* checkLargeSize = nullptr;
    QSpinBox* spinLargeWidth = nullptr;   // pixels; take the sliders' place while checkLargeSize is checked
    QLabel* captionLargeBy = nullptr;
    QSpinBox* spinLargeHeight = nullptr;
    QCheckBox* checkFullFrame = nullptr;
    QCheckBox* checkAlignRgb = nullptr;   // red and blue moved onto green against dispersion
    QCheckBox* checkSizeAuto = nullptr;
    // Under the preview, in red: the planet is larger than the output.
    QLabel* lblCutWarning = nullptr;
    // "9) Frame selection": the rejection reasons, then the sharpest of the
    // frames that pass.
    QGroupBox* groupReject = nullptr;
    QCheckBox* checkRejectCut = nullptr;
    QLabel* captionMinSize = nullptr;
    QSpinBox* spinMinSize = nullptr;   // pixels; 0: off
    QCheckBox* checkMaxSaturated = nullptr;
    QDoubleSpinBox* spinMaxSaturated = nullptr;   // percent; enabled with checkMaxSaturated
    QCheckBox* checkRejectDim = nullptr;
    QSpinBox* spinRejectDim = nullptr;   // percent of the file's median; enabled with checkRejectDim
    QLabel* captionKeepBest = nullptr;
    QSpinBox* spinKeepBest = nullptr;
    QComboBox* comboKeepBestUnit = nullptr;   // each item holds its KeepBestUnit
    QCheckBox* checkBestFrame = nullptr;
    // Only frames spinFramesFirst to spinFramesLast (-1: the end) of each
    // file, while checkFrames is checked.
    QCheckBox* checkFrames = nullptr;
    QSpinBox* spinFramesFirst = nullptr;
    QLabel* captionFramesTo = nullptr;
    QSpinBox* spinFramesLast = nullptr;
    // All files into one output; only frames captured from timeRangeFirst
    // up to timeRangeEnd (UTC) while checkTimeRange is checked; outputs cut
    // every spinSegment seconds while checkSegment is.
    QCheckBox* checkJoin = nullptr;
    QCheckBox* checkTimeRange = nullptr;
    QTimeEdit* timeRangeFirst = nullptr;
    QLabel* captionTimeRangeTo = nullptr;
    QTimeEdit* timeRangeEnd = nullptr;
    QCheckBox* checkSegment = nullptr;
    QSpinBox* spinSegment = nullptr;
    // "10) Calibration": a master dark, flat and bias, each chosen with its
    // button, shown by name in its label and taken back with the button
    // beside it; where hot pixels are found.
    QGroupBox* groupCalibration = nullptr;
    QPushButton* btnDark = nullptr;
    QLabel* lblDark = nullptr;
    QPushButton* btnDarkClear = nullptr;
    QPushButton* btnFlat = nullptr;
    QLabel* lblFlat = nullptr;
    QPushButton* btnFlatClear = nullptr;
    QPushButton* btnBias = nullptr;
    QLabel* lblBias = nullptr;
    QPushButton* btnBiasClear = nullptr;
    QLabel* captionHotPixels = nullptr;
    QComboBox* comboHotPixels = nullptr;   // in the order of HotPixels
    // "11) Capture time": how a name dates a capture that nothing better
    // dates: the user's pattern and the local time names are written in.
    // A text that is no pattern or offset is marked and not used.
    QGroupBox* groupCaptureTime = nullptr;
    QLabel* captionNameTime = nullptr;
    QLineEdit* editNameTime = nullptr;
    QLabel* captionUtcOffset = nullptr;
    QLineEdit* editUtcOffset = nullptr;
    // "12) Night": a folder opened as a night, how its captures are
    // gathered, whether those done before are done again, and the report
    // the last night wrote (enabled once there is one).
    QGroupBox* groupNight = nullptr;
    // Deeper samples into the 8-bit outputs: "Off", "Auto" or typed B:W[:G].
    QGroupBox* groupLevels = nullptr;
    QLabel* captionLevels = nullptr;
    QComboBox* comboLevels = nullptr;
    QPushButton* btnOpenFolder = nullptr;
    QCheckBox* checkRecurse = nullptr;
    QCheckBox* checkJoinAuto = nullptr;
    QCheckBox* checkForce = nullptr;
    QPushButton* btnNightReport = nullptr;
    // "13) Orientation": every output frame turned clockwise after its
    // mirror, and captures after the meridian flip's time turned by 180
    // degrees more.
    QGroupBox* groupOrientation = nullptr;
    QLabel* captionRotate = nullptr;
    QComboBox* comboRotate = nullptr;   // data: degrees
    QLabel* captionFlip = nullptr;
    QComboBox* comboFlip = nullptr;   // data: Flip
    QCheckBox* checkMeridianFlip = nullptr;
    QTimeEdit* editMeridianFlip = nullptr;
    // Options the window never shows; only the settings file changes them.
    QCheckBox* checkIgnoreIncomplete = nullptr;
    QCheckBox* checkAutocolor = nullptr;
    QTimer* timerTest = nullptr;
    // The whole frame a test, a view or a batch last measured, with its
    // marks; right of the preview, taking the room the window is given.
    FrameViewPanel* frameView = nullptr;
    // Below it, which frame of the tested file it shows: moving the slider
    // views that frame. Enabled after a passed test, not during a batch.
    QSlider* trackFrame = nullptr;
    QLabel* lblFrame = nullptr;
    QTimer* timerView = nullptr;
    // Plays the tested file as a batch would, writing nothing, and shows its
    // drift and quality plots in plotPanel, right of the help box; a
    // batch shows each file's plots there after it.
    QPushButton* btnAnalyse = nullptr;
    QComboBox* comboFiles = nullptr;   // the open files; the chosen one is tested
    PlotPanel* plotPanel = nullptr;

    // Reactions.
    void FormCreate();
    void FormDestroy();
    void btnOpenClick();
    void btnOpenFolderClick();
    void btnNightReportClick();
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
    // A rate typed in, shown as it is kept; anything else back to the default.
    void comboFpsEdited();
    void showOutputRate(const OutputRate& rate);
    void btnOutputFolderClick();
    void setOutputFolder(const QString& folder);
    void checkDebayerClick();
    void checkLargeSizeClick();
    void spinLargeSizeChange(QSpinBox* spin);
    void checkRejectClick();
    void timerTestTimer();
    // Views the frame trackFrame stands at, when no run is going on.
    void timerViewTimer();
    void btnAnalyseClick();
    void comboFilesChange(int index);
    // The plots of the file just played, for the host.
    void showPlots(const PlotData& data);
    void LoadSettings();
    void SaveSettings();
    // What the controls hold now, as the settings file keeps it.
    OrbicropSettings settingsFromControls() const;

    void SetControlsEnabled(bool enabled);

    // Preview looks and window size, for the host.
    void showPreviewPicture(const QImage& picture);
    void showWarningPanel(const QString& caption);
    // Empty hides it.
    void showCutWarning(const QString& text);
    void showTestPassedPanel(int cropWidth, int cropHeight);
    // cropWidth and cropHeight from the size controls in use, shown in the
    // sliders' labels.
    void updateCropSize();
    void showCropSize(std::int32_t width, std::int32_t height);
    void showMessage(const QString& text);
    // A frame of a running batch or analysis: the full view, the crop
    // preview cut from it, and the frame and speed in the status bar.
    // played counts the file's frames so far, the one shown included.
    void showLiveFrame(const FrameView& frame, const FrameOverlay& overlay, std::int32_t played, double fps);
    // How often a run's frames are shown (WindowHost::setLiveInterval).
    void setLiveInterval(int milliseconds) { m_host.setLiveInterval(milliseconds); }
    // Every frame the core reports, whatever the run.
    void frameAnalysed(const FrameRecord& record);
    // The centring choices of the groups "7) Centring" and "9) Reject
    // frames", as the core takes them.
    CentringOptions centring() const;
    // The colour choices of "8) Colour and size", as the core takes them.
    ColourOptions colour() const;
    // The frames of "9) Frame selection", as the core takes them.
    FrameRange frames() const;
    std::optional<TimeRange> timeRange() const;
    std::optional<std::int32_t> segmentSeconds() const;
    // The frame rate of "6) Output options", as the core takes it.
    OutputRate outputRate() const;
    // The masters and hot-pixel choice of "10) Calibration", as the core takes them.
    CalibrationOptions calibration() const;
    // The name-time choices of "11) Capture time", as the core takes them.
    orbicrop::capture::NameTimeChoices nameTime() const;
    // Shows a master chosen (empty: none) for the member of CalibrationOptions given.
    void setMaster(std::string CalibrationOptions::*master, const std::string& path);

signals:
    // A test action ran on the chosen files (not when there were none).
    void testRan(bool passed);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    // One a group of the window. createControls() calls them in this order,
    // the order the controls stack in (the preview over the help box).
    void createOpenButton();
    void createThresholdGroup();
    void createSizeGroup();
    void createOutputGroup();
    void createProcessButton();
    void createLogAndHelp();
    void createOutputOptionsGroup();
    void createFrameRateRow(int top);
    void createColourGroup();
    void createCentringGroup();
    void createFrameSelectionGroup();
    void createRejectionChoices();
    void createFrameLimits();
    void createCalibrationGroup();
    void createCaptureTimeGroup();
    void createNightGroup();
    void createLevelsGroup();
    void createOrientationGroup();
    void showOrientation(const OrbicropSettings& s);
    void takeOrientation(OrbicropSettings& s) const;
    // One row of "10) Calibration": its button, label and clear button.
    void createMasterRow(int top, const QString& name, QPushButton*& choose, QLabel*& label, QPushButton*& clear);
    void chooseMaster(std::string CalibrationOptions::*master);
    // Marks a name pattern or offset that cannot be used, and tests again.
    void captureTimeChange();
    void createViews();
    void createPreview();
    void createBars();
    void connectReactions();
    void setTabOrder();
    void restartTestTimer();
    void fitToControls();
    // Places the options column at the right edge and gives the views, the
    // plots and the log the room the given controls leave.
    void arrangeControls();
    // "6) Output options" to "12) Night", top to bottom.
    QList<QGroupBox*> optionGroups() const;
    // Places the options column at the right edge, down to bottom, with a
    // scroll bar when its groups reach lower; returns its left edge.
    int placeOptionGroups(int right, int bottom);
    // The scrubber after a test: the tested file's frames, standing at the
    // frame the test showed.
    void resetScrubber(bool passed);
    void showFrameLabel(const FrameRecord& record);
    // The status bar's place and name of this open file.
    void showFileInStatus(const std::string& file);
    // Asks whether to stop the running batch, unless a stop is already on
    // its way or the question is already open; true when the batch will stop.
    bool askToStopBatch();
    // The chosen output folder, made when it is missing, ready to go into
    // the state ("/" at its end); nullopt, told in the log and in a
    // message, when it cannot be made. Empty without a chosen folder.
    std::optional<std::string> prepareOutputFolder();
    // Opens the files as openFiles does, leaving the night as it is.
    void loadFiles(const QStringList& paths);
    // openFolder's work, inside its guard.
    void openNight(const QString& folder);
    // The night opened, run into outputDir (the chosen folder, else the
    // night's own), its report written; the batch as it went.
    BatchResult runNight(const std::string& outputDir);

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
    WindowHost m_host;
    std::vector<std::string> m_files;
    // A folder opened as a night: its captures, whose files m_files holds.
    struct Night {
        std::string folder;
        std::vector<std::vector<std::string>> captures;
    };
    std::optional<Night> m_night;
    QString m_nightReport;
    std::size_t m_testedFile = 0;   // in m_files: the one the list shows
    QString m_outputFolder;
    CalibrationOptions m_calibration;
    QString m_openFilter;   // the open dialog's filter last used
    int m_reactionDepth = 0;
    bool m_closePending = false;
    bool m_batchRunning = false;
    bool m_askingToStop = false;
    bool m_shownOnce = false;
    bool m_sized = false;   // opened at its first size
    bool m_destroying = false;
    bool m_viewing = false;
    bool m_analysing = false;   // RunAnalyseAction plays a copy of the state, whose busy flag we do not see
    std::optional<FrameRecord> m_lastRecord;   // of the last test or view
};

// The filter list of the open dialog.
QString OpenDialogFilter();
// One filter of that list by its name in the settings file ("avi", "video",
// "ser", "all"), and back; an unknown name or filter gives the first.
QString OpenDialogFilterNamed(const std::string& name);
std::string OpenDialogFilterName(const QString& filter);
// The message after a batch that kept going past the files that failed:
// each failed file's name with the first line of what went wrong.
QString FailedFilesSummary(const std::vector<FileOutcome>& failed);
// Whether a drop on the window accepts the file, by its extension in any case:
// the extensions of the dialog's "All video files".
bool IsVideoFileName(const QString& path);
// The files named on the program's command line (after Qt took its own
// options): every argument after the program's name, less a leading "--".
QStringList FilesFromArguments(const QStringList& arguments);
