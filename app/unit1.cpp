// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"
#include "output/output_for_format.h"

#include "settings/orbicrop_settings.h"

#include "app/frame_view_panel.h"
#include "app/gauge.h"
#include "app/plot_panel.h"
#include "app/preview_image.h"
#include "app/settings_place.h"
#include "app/status_bar.h"
#include "app/version.h"
#include "output/paths.h"
#include "run/actions.h"
#include "run/capture_folder.h"
#include "time/capture_time.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QDoubleSpinBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDateTime>
#include <QTimeZone>
#include <QFile>
#include <QFileInfo>
#include <QComboBox>
#include <QSignalBlocker>
#include <QGroupBox>
#include <QSpinBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QShortcut>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSlider>
#include <QTimeEdit>
#include <QTimer>
#include <QTransform>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const QColor kGrey(128, 128, 128);
const QColor kSilver(192, 192, 192);
constexpr int kWarningPanelSize = 200;
constexpr int kBusyCursorDelayMs = 100;

void SetBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

// Large and whole-frame outputs are previewed scaled down to the sliders'
// largest size, so that no preview reaches the options column.
QSize PreviewSize(QSize crop)
{
    constexpr int kLargest = kCropPositionMax * kCropSizeStep;
    if (crop.width() <= kLargest && crop.height() <= kLargest)
        return crop;
    return crop.scaled(kLargest, kLargest, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// What a drop brings: the video files in it, and the first folder, which
// opens as a night (the files then stay out of it).
struct Dropped {
    QStringList files;
    QString folder;
    bool empty() const { return files.isEmpty() && folder.isEmpty(); }
};

Dropped DroppedInputs(const QMimeData* mime)
{
    Dropped dropped;
    if (mime == nullptr || !mime->hasUrls())
        return dropped;
    for (const QUrl& url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        // A folder of frames is one capture, opened as a file is.
        if (info.isDir() && IsCaptureFolder(QFile::encodeName(path).toStdString()))
            dropped.files << path;
        else if (info.isDir() && dropped.folder.isEmpty())
            dropped.folder = path;
        else if (IsVideoFileName(path) && info.isFile())
            dropped.files << path;
    }
    return dropped;
}

}   // namespace

TForm1::TForm1(WindowServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_host(*this)
{
    if (!m_services.chooser)
        m_services.chooser = MakeDialogFileChooser();
    if (!m_services.messages)
        m_services.messages = MakeMessageBoxSink();
    if (!m_services.pages)
        m_services.pages = MakeDesktopPageOpener();
    m_settingsPath = m_services.settingsPath.isEmpty() ? DefaultSettingsPath() : m_services.settingsPath;

    setAcceptDrops(true);
    createControls();
    SetBackground(Panel1, kGrey);
    fitToControls();
    connectReactions();
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    m_destroying = true;
    timerTest->stop();
    guarded([this] { FormDestroy(); });
}

template <typename Reaction>
void TForm1::guarded(Reaction&& reaction)
{
    ++m_reactionDepth;
    try {
        reaction();
    } catch (const std::exception& e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
    --m_reactionDepth;
    if (m_reactionDepth == 0 && m_closePending && !m_destroying) {
        m_closePending = false;
        close();
    }
}

void TForm1::connectReactions()
{
    connect(btnOpen, &QPushButton::clicked, this, [this] { guarded([this] { btnOpenClick(); }); });
    connect(btnOpenFolder, &QPushButton::clicked, this, [this] { guarded([this] { btnOpenFolderClick(); }); });
    connect(btnNightReport, &QPushButton::clicked, this, [this] { guarded([this] { btnNightReportClick(); }); });
    connect(btnProcess, &QPushButton::clicked, this, [this] { guarded([this] { btnProcessClick(); }); });
    connect(trackCOG, &QSlider::valueChanged, this, [this] { guarded([this] { trackCOGChange(); }); });
    connect(trackWidth, &QSlider::valueChanged, this, [this] { guarded([this] { trackWidthChange(); }); });
    connect(trackHeight, &QSlider::valueChanged, this, [this] { guarded([this] { trackHeightChange(); }); });
    connect(checkAutocolor, &QCheckBox::toggled, this, [this] { guarded([this] { checkAutocolorClick(); }); });
    connect(checkPreview, &QCheckBox::clicked, this, [this] { guarded([this] { checkPreviewClick(); }); });
    connect(checkInverse, &QCheckBox::clicked, this, [this] { guarded([this] { checkPreviewClick(); }); });
    // Both change what the test measures and shows.
    connect(checkLargestObject, &QCheckBox::clicked, this, [this] { guarded([this] { checkPreviewClick(); }); });
    connect(checkSurface, &QCheckBox::clicked, this, [this] { guarded([this] { checkPreviewClick(); }); });
    connect(comboKeepBestUnit, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { comboKeepBestUnitChange(); }); });
    for (QRadioButton* mode : {checkColor, checkY800}) {
        connect(mode, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected)
                guarded([this] { checkColorClick(); });
        });
    }
    connect(comboFormat, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { comboFormatChange(); }); });
    connect(comboFps->lineEdit(), &QLineEdit::editingFinished, this, [this] { guarded([this] { comboFpsEdited(); }); });
    connect(btnOutputFolder, &QPushButton::clicked, this, [this] { guarded([this] { btnOutputFolderClick(); }); });
    connect(btnOutputFolderReset, &QPushButton::clicked, this,
            [this] { guarded([this] { setOutputFolder(QString()); }); });
    // "8) Colour and size" changes what the test shows: at once, as the
    // centring choices do; the sizes after the timer, as the sliders do.
    connect(comboBayer, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { btnTestClick(); }); });
    connect(checkDebayer, &QCheckBox::toggled, this, [this] { guarded([this] { checkDebayerClick(); }); });
    connect(comboDebayerMethod, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { btnTestClick(); }); });
    connect(checkLargeSize, &QCheckBox::toggled, this, [this] { guarded([this] { checkLargeSizeClick(); }); });
    for (QSpinBox* spin : {spinLargeWidth, spinLargeHeight})
        connect(spin, &QSpinBox::valueChanged, this,
                [this, spin] { guarded([this, spin] { spinLargeSizeChange(spin); }); });
    connect(checkFullFrame, &QCheckBox::toggled, this, [this] { guarded([this] { btnTestClick(); }); });
    connect(checkSizeAuto, &QCheckBox::toggled, this, [this] { guarded([this] { btnTestClick(); }); });
    connect(checkLimb, &QCheckBox::clicked, this, [this] { guarded([this] { checkPreviewClick(); }); });
    // "9) Reject frames" likewise: the check boxes at once, the numbers after
    // the timer.
    for (QCheckBox* check : {checkRejectCut, checkMaxSaturated, checkRejectDim})
        connect(check, &QCheckBox::toggled, this, [this] { guarded([this] { checkRejectClick(); }); });
    for (QSpinBox* spin : {spinMinSize, spinRejectDim, spinFramesFirst, spinFramesLast})
        connect(spin, &QSpinBox::valueChanged, this, [this] { guarded([this] { restartTestTimer(); }); });
    for (QCheckBox* check : {checkFrames, checkJoin, checkTimeRange, checkSegment})
        connect(check, &QCheckBox::toggled, this, [this] { guarded([this] { checkRejectClick(); }); });
    for (QTimeEdit* edit : {timeRangeFirst, timeRangeEnd})
        connect(edit, &QTimeEdit::timeChanged, this, [this] { guarded([this] { restartTestTimer(); }); });
    connect(spinMaxSaturated, &QDoubleSpinBox::valueChanged, this, [this] { guarded([this] { restartTestTimer(); }); });
    connect(timerTest, &QTimer::timeout, this, [this] { guarded([this] { timerTestTimer(); }); });
    // "10) Calibration" changes what the test shows, at once.
    const std::pair<QPushButton*, std::string CalibrationOptions::*> masters[] = {{btnDark, &CalibrationOptions::dark},
                                                                                  {btnFlat, &CalibrationOptions::flat},
                                                                                  {btnBias, &CalibrationOptions::bias}};
    for (const auto& [button, master] : masters)
        connect(button, &QPushButton::clicked, this,
                [this, master] { guarded([this, master] { chooseMaster(master); }); });
    const std::pair<QPushButton*, std::string CalibrationOptions::*> clears[] = {
        {btnDarkClear, &CalibrationOptions::dark},
        {btnFlatClear, &CalibrationOptions::flat},
        {btnBiasClear, &CalibrationOptions::bias}};
    for (const auto& [button, master] : clears)
        connect(button, &QPushButton::clicked, this, [this, master] {
            guarded([this, master] {
                setMaster(master, {});
                btnTestClick();
            });
        });
    connect(comboHotPixels, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { btnTestClick(); }); });
    for (QLineEdit* edit : {editNameTime, editUtcOffset})
        connect(edit, &QLineEdit::textChanged, this, [this] { guarded([this] { captureTimeChange(); }); });
    connect(trackFrame, &QSlider::valueChanged, timerView, qOverload<>(&QTimer::start));
    connect(btnAnalyse, &QPushButton::clicked, this, [this] { guarded([this] { btnAnalyseClick(); }); });
    connect(comboFiles, &QComboBox::currentIndexChanged, this,
            [this](int index) { guarded([this, index] { comboFilesChange(index); }); });
    connect(timerView, &QTimer::timeout, this, [this] { guarded([this] { timerViewTimer(); }); });
    // A shortcut rather than a key handler: during a batch the focus may be
    // anywhere, on a disabled control or on the log.
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (m_batchRunning)
            askToStopBatch();
        else if (m_analysing)
            m_state.stopRequested = true;   // nothing is written: no question
    });
}

void TForm1::FormCreate()
{
    LoadSettings();
    m_state.blockSize = kBlockSize;
    checkColorClick();
    setWindowTitle(QStringLiteral("Orbicrop ") + Text(GetVersionString("", "%d.%d.%d.%d"))
                   + QStringLiteral(" - Center and Crop Planetary AVIs"));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize();
    m_aviWriter = std::make_unique<TAviWriter>(screenSize.width(), screenSize.height());
}

void TForm1::FormDestroy()
{
    SaveSettings();
    m_aviWriter.reset();
}

void TForm1::openFiles(const QStringList& paths)
{
    if (m_batchRunning || m_analysing)
        return;
    m_night.reset();
    loadFiles(paths);
}

void TForm1::openFolder(const QString& folder)
{
    if (m_batchRunning || m_analysing || folder.isEmpty())
        return;
    // A folder of frames is one capture, not a night of them.
    if (IsCaptureFolder(QFile::encodeName(folder).toStdString())) {
        openFiles({folder});
        return;
    }
    guarded([&] { openNight(folder); });
}

void TForm1::loadFiles(const QStringList& paths)
{
    guarded([&] {
        m_files.clear();
        for (const QString& path : paths)
            m_files.push_back(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());

        if (m_files.empty()) {
            StatusBar1->setPanelText(BatchHost::kFilePosition, QStringLiteral("No Files"));
            StatusBar1->setPanelText(BatchHost::kFileName, QString());
            StatusBar1->setPanelText(BatchHost::kActivity, QString());
            Image->hide();
            btnProcess->setEnabled(false);
            Memo1->clear();
            return;
        }
        StatusBar1->setPanelText(BatchHost::kFilePosition, QStringLiteral("File 1/%1").arg(m_files.size()));
        StatusBar1->setPanelText(BatchHost::kFileName, QFile::decodeName(FileNameOf(m_files.front()).c_str()));
        StatusBar1->setPanelText(BatchHost::kActivity, QStringLiteral("Open"));
        {
            const QSignalBlocker quiet(comboFiles);
            comboFiles->clear();
            for (const std::string& file : m_files)
                comboFiles->addItem(QFile::decodeName(FileNameOf(file).c_str()));
            comboFiles->setCurrentIndex(0);
        }
        m_testedFile = 0;
        Image->show();
        m_state.autoColorPending = true;
        SetControlsEnabled(true);
        btnTestClick();
    });
}

// Another open file chosen: it becomes the one the test and the views read.
void TForm1::showFileInStatus(const std::string& file)
{
    const auto found = std::find(m_files.begin(), m_files.end(), file);
    if (found == m_files.end())
        return;
    StatusBar1->setPanelText(BatchHost::kFilePosition,
                             QStringLiteral("File %1/%2").arg(found - m_files.begin() + 1).arg(m_files.size()));
    StatusBar1->setPanelText(BatchHost::kFileName, QFile::decodeName(FileNameOf(file).c_str()));
}

void TForm1::comboFilesChange(int index)
{
    if (index < 0 || std::size_t(index) >= m_files.size() || std::size_t(index) == m_testedFile)
        return;
    m_testedFile = std::size_t(index);
    StatusBar1->setPanelText(BatchHost::kFilePosition, QStringLiteral("File %1/%2").arg(index + 1).arg(m_files.size()));
    StatusBar1->setPanelText(BatchHost::kFileName, QFile::decodeName(FileNameOf(m_files[m_testedFile]).c_str()));
    btnTestClick();
}

void TForm1::btnOpenClick()
{
    QString directory;
    if (!m_files.empty())
        directory = QFileInfo(QFile::decodeName(m_files.front().c_str())).absolutePath();
    // The filter the user chose last is shown again: SER and MP4 files stay
    // in sight for the next open.
    QString filter = m_openFilter;
    const QStringList files = m_services.chooser->chooseFiles(this, OpenDialogFilter(), directory, filter);
    if (!files.isEmpty())
        m_openFilter = OpenDialogFilterNamed(OpenDialogFilterName(filter));
    openFiles(files);
}

void TForm1::btnTestClick()
{
    if (m_files.empty())
        return;
    if (m_state.busy || m_batchRunning || m_analysing) {
        // A run is going on below this reaction (it lets events through
        // between frames, and a batch's message box between files). Starting
        // a test now would reset the result flags of that run, so that a
        // failing test could end as passed, and would change the threshold,
        // size and folder the rest of a batch uses. A test asked for during a
        // test runs once that one is over; a batch re-enables the controls
        // itself, and its log must not be cleared by a test after it.
        if (!m_batchRunning)
            restartTestTimer();
        return;
    }
    m_lastRecord.reset();
    const bool passed = RunTestAction(m_state, m_host);
    // The test goes on past files that cannot be opened: the status bar names
    // the one it read, not the broken one it was asked to start from.
    showFileInStatus(m_state.currentFile);
    resetScrubber(passed);
    emit testRan(passed);
}

void TForm1::resetScrubber(bool passed)
{
    const QSignalBlocker quiet(trackFrame);
    timerView->stop();
    trackFrame->setRange(0, std::max(0, m_state.frameCount - 1));
    trackFrame->setPageStep(std::max(1, m_state.frameCount / 10));
    trackFrame->setEnabled(passed && m_state.frameCount > 0);
    btnAnalyse->setEnabled(trackFrame->isEnabled());
    if (passed && m_lastRecord) {
        trackFrame->setValue(m_lastRecord->index);
        showFrameLabel(*m_lastRecord);
    } else {
        trackFrame->setValue(0);
        lblFrame->clear();
    }
}

void TForm1::timerViewTimer()
{
    if (m_state.busy || m_batchRunning || m_analysing || !trackFrame->isEnabled())
        return;
    // A frame deep in a long compressed file may take a while to reach; the
    // cursor says so, but not for the frames that come at once.
    QTimer busy;
    busy.setSingleShot(true);
    bool cursorSet = false;
    connect(&busy, &QTimer::timeout, this, [&cursorSet] {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        cursorSet = true;
    });
    busy.start(kBusyCursorDelayMs);
    const auto restore = qScopeGuard([&] {
        m_viewing = false;
        busy.stop();
        if (cursorSet)
            QGuiApplication::restoreOverrideCursor();
    });
    m_viewing = true;
    m_lastRecord.reset();
    const int index = trackFrame->value();
    if (RunViewAction(m_state, m_host, index) && m_lastRecord) {
        FrameRecord record = *m_lastRecord;
        record.index = index;
        showFrameLabel(record);
    }
}

void TForm1::btnAnalyseClick()
{
    if (m_state.busy || m_batchRunning || m_analysing || !btnAnalyse->isEnabled())
        return;
    // The analysis lets events through between frames: nothing may start a
    // run or change the files under it.
    QWidget* const held[] = {btnOpen, btnOpenFolder, btnProcess, btnAnalyse, trackFrame};
    bool wasEnabled[std::size(held)];
    for (std::size_t i = 0; i < std::size(held); ++i) {
        wasEnabled[i] = held[i]->isEnabled();
        held[i]->setEnabled(false);
    }
    m_analysing = true;
    m_host.collectPlots(true);
    m_host.showRunFrames(true);
    showFileInStatus(m_state.currentFile);
    StatusBar1->setPanelText(BatchHost::kActivity, QStringLiteral("Analysing..."));
    const auto restore = qScopeGuard([&] {
        // The frame it reached is no news once it is over.
        StatusBar1->setPanelText(BatchHost::kActivity, QString());
        m_analysing = false;
        m_state.stopRequested = false;
        m_host.showRunFrames(false);
        m_host.collectPlots(false);
        for (std::size_t i = 0; i < std::size(held); ++i)
            held[i]->setEnabled(wasEnabled[i]);
    });
    plotPanel->clear();
    // A stopped analysis shows the frames it reached.
    RunAnalyseAction(m_state, m_host);
    if (!m_host.plots().frames().empty())
        showPlots(m_host.plots());
}

void TForm1::showPlots(const PlotData& data)
{
    plotPanel->setPlots(ToQImage(DriftPlot(data)), ToQImage(QualityPlot(data.sortedScores(), data.kept())));
}

void TForm1::frameAnalysed(const FrameRecord& record)
{
    if (!m_batchRunning && !m_analysing)
        m_lastRecord = record;
}

void TForm1::showFrameLabel(const FrameRecord& record)
{
    QString when;
    if (record.utcTicks) {
        const qint64 ms = (*record.utcTicks - kUnixEpochTicks) / (kTicksPerSecond / 1000);
        when = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
            + QStringLiteral(" UTC");
    } else {
        when = QStringLiteral("%1 s").arg(record.sampleTime, 0, 'f', 3);
    }
    lblFrame->setText(QStringLiteral("Frame %1 of %2, %3").arg(record.index + 1).arg(m_state.frameCount).arg(when));
}

void TForm1::btnProcessClick()
{
    // A batch started inside a running test would take that test's half-set
    // flags and end it without its preview; one inside a batch would write
    // the same outputs twice at once. The click is dropped: the button is
    // there again when the run is over.
    if (m_state.busy || m_batchRunning || m_analysing)
        return;
    // A chosen folder takes the place of the tested file's, which the test
    // left in the state; it comes back after the batch, so that a folder
    // taken back later is not still used by the next batch.
    const std::optional<std::string> folder = prepareOutputFolder();
    if (!folder)
        return;
    // The batch moves the state to each of its files in turn; it comes back
    // after the batch, so that the views and "Analyse file" read the tested
    // file again, and a folder taken back later is not still used by the
    // next batch.
    const TProcessingState tested = m_state;
    if (!folder->empty())
        m_state.outputDir = *folder;
    // Opening other files in the middle of a batch would enable the size
    // sliders while an output is being written at the size it was opened
    // with; Open waits until the batch is over, however it ends.
    const bool keepGoing = checkKeepGoing->isChecked();
    std::exception_ptr error;
    std::optional<BatchResult> night;
    {
        m_batchRunning = true;
        btnOpen->setEnabled(false);
        btnOpenFolder->setEnabled(false);
        const bool viewsReady = btnAnalyse->isEnabled();
        timerView->stop();
        trackFrame->setEnabled(false);
        btnAnalyse->setEnabled(false);
        plotPanel->clear();
        m_host.collectPlots(true);
        m_host.holdBatchMessages(keepGoing);
        m_host.showRunFrames(true);
        const auto endOfBatch = qScopeGuard([this, &tested, viewsReady] {
            m_host.showRunFrames(false);
            m_batchRunning = false;
            btnOpen->setEnabled(true);
            btnOpenFolder->setEnabled(true);
            m_state = tested;
            m_host.holdBatchMessages(false);
            m_host.collectPlots(false);
            // However the batch ended, the views are the tested file's again:
            // the whole frame and the preview go back to the slider's frame.
            trackFrame->setEnabled(viewsReady);
            btnAnalyse->setEnabled(viewsReady);
            if (viewsReady)
                timerView->start();
        });
        try {
            if (m_night) {
                night = runNight(folder->empty() ? m_night->folder : *folder);
            } else {
                const auto output = MakeOutputFor(OutputFormat(comboFormat->currentIndex()), checkWinJupos->isChecked(),
                                                  "orbicrop " ORBICROP_VERSION, m_aviWriter.get());
                RunProcessAction(m_state, m_host, *output);
            }
        } catch (const std::exception& e) {
            // Shown after the summary, when the batch is over; the log keeps
            // it as the box shows it, with the rest of the batch.
            Memo1->appendPlainText(FormatErrorMessage(QString::fromLocal8Bit(e.what())));
            error = std::current_exception();
        } catch (...) {
            Memo1->appendPlainText(FormatErrorMessage(QStringLiteral("Unknown error")));
            error = std::current_exception();
        }
    }
    std::vector<FileOutcome> failed = m_host.takeFailedFiles();
    if (night) {
        // The night's own account: the captures that ran, each once.
        failed.clear();
        std::copy_if(night->files.begin(), night->files.end(), std::back_inserter(failed),
                     [](const FileOutcome& file) { return file.status == FileOutcome::Status::Failed; });
    }
    if (keepGoing && !failed.empty())
        showMessage(FailedFilesSummary(failed));
    if (error)
        std::rethrow_exception(error);
}

std::optional<std::string> TForm1::prepareOutputFolder()
{
    if (m_outputFolder.isEmpty())
        return std::string();
    std::string folder = QFile::encodeName(m_outputFolder).toStdString();
    // Made when missing, as the tool's -o makes its folder: a folder chosen
    // once may have been removed since, or be on a disk not mounted yet.
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec && !fs::is_directory(folder, ec))
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) {
        const QString text = QStringLiteral("Cannot create the output folder %1: %2")
                                 .arg(m_outputFolder, QString::fromLocal8Bit(ec.message().c_str()));
        Memo1->appendPlainText(text);
        showMessage(text);
        return std::nullopt;
    }
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

void TForm1::btnOutputFolderClick()
{
    QString start = m_outputFolder;
    if (start.isEmpty() && !m_files.empty())
        start = QFileInfo(QFile::decodeName(m_files.front().c_str())).absolutePath();
    const QString chosen = m_services.chooser->chooseFolder(this, QStringLiteral("Output folder"), start);
    if (!chosen.isEmpty())
        setOutputFolder(chosen);
}

void TForm1::setOutputFolder(const QString& folder)
{
    m_outputFolder = folder;
    const QString shown = folder.isEmpty() ? QStringLiteral("beside the first file") : folder;
    // The end of a long path names the folder; its middle gives way.
    lblOutputFolder->setText(
        lblOutputFolder->fontMetrics().elidedText(shown, Qt::ElideMiddle, lblOutputFolder->width()));
    lblOutputFolder->setToolTip(folder.isEmpty()
                                    ? QStringLiteral("Each batch writes its outputs into the folder of the tested "
                                                     "file, the first one that opens")
                                    : folder);
    btnOutputFolderReset->setEnabled(!folder.isEmpty());
}

void TForm1::comboFormatChange()
{
    checkWinJupos->setEnabled(comboFormat->currentIndex() == 1);
    captionFps->setEnabled(comboFormat->currentIndex() == 0);
    comboFps->setEnabled(comboFormat->currentIndex() == 0);
}

void TForm1::comboFpsEdited()
{
    showOutputRate(outputRate());
}

void TForm1::showOutputRate(const OutputRate& rate)
{
    if (rate.source)
        comboFps->setCurrentIndex(1);
    else if (rate.isDefault())
        comboFps->setCurrentIndex(0);
    else
        comboFps->setEditText(QString::fromStdString(FpsText(rate.fixed)));
}

void TForm1::checkDebayerClick()
{
    comboDebayerMethod->setEnabled(checkDebayer->isChecked());
    btnTestClick();
}

void TForm1::checkLargeSizeClick()
{
    spinLargeWidth->setEnabled(checkLargeSize->isChecked());
    spinLargeHeight->setEnabled(checkLargeSize->isChecked());
    updateCropSize();
    btnTestClick();
}

void TForm1::checkRejectClick()
{
    spinMaxSaturated->setEnabled(checkMaxSaturated->isChecked());
    spinRejectDim->setEnabled(checkRejectDim->isChecked());
    spinFramesFirst->setEnabled(checkFrames->isChecked());
    spinFramesLast->setEnabled(checkFrames->isChecked());
    timeRangeFirst->setEnabled(checkTimeRange->isChecked());
    timeRangeEnd->setEnabled(checkTimeRange->isChecked());
    spinSegment->setEnabled(checkSegment->isChecked());
    btnTestClick();
}

// A typed size is snapped to what the core takes; the snapped value comes
// back here through valueChanged.
void TForm1::spinLargeSizeChange(QSpinBox* spin)
{
    const int snapped = SnappedLargeSize(spin->value());
    if (snapped != spin->value()) {
        spin->setValue(snapped);
        return;
    }
    updateCropSize();
    restartTestTimer();
}

void TForm1::trackCOGChange()
{
    lblCog->setText(QString::number(trackCOG->value()));
    lblCog->adjustSize();
    restartTestTimer();
}

void TForm1::trackWidthChange()
{
    UpdateCropSize(m_state, m_host.widthPosition(), m_host.heightPosition());
    lblWidth->setText(QString::number(m_state.cropWidth));
    lblWidth->adjustSize();
    restartTestTimer();
}

void TForm1::trackHeightChange()
{
    UpdateCropSize(m_state, m_host.widthPosition(), m_host.heightPosition());
    lblHeight->setText(QString::number(m_state.cropHeight));
    lblHeight->adjustSize();
    restartTestTimer();
}

void TForm1::checkAutocolorClick()
{
    restartTestTimer();
}

void TForm1::checkPreviewClick()
{
    btnTestClick();
}

void TForm1::checkColorClick()
{
    const bool color = checkColor->isChecked();
    SetBackground(lblR, color ? QColor(255, 0, 0) : kSilver);
    SetBackground(lblG, color ? QColor(0, 255, 0) : kGrey);
    SetBackground(lblB, color ? QColor(0, 0, 255) : QColor(0, 0, 0));
    // Disabling keeps the check mark: the option still reaches every run.
    checkDebayerSafe->setEnabled(!color);
}

void TForm1::timerTestTimer()
{
    timerTest->stop();
    btnTestClick();
}

void TForm1::restartTestTimer()
{
    timerTest->start();
}

void TForm1::SetControlsEnabled(bool enabled)
{
    GroupBox1->setEnabled(enabled);
    GroupBox2->setEnabled(enabled);
    GroupBox3->setEnabled(enabled);
    groupCentring->setEnabled(enabled);
    groupColour->setEnabled(enabled);
    groupReject->setEnabled(enabled);
    groupMoreOptions->setEnabled(enabled);
    groupCalibration->setEnabled(enabled);
    groupCaptureTime->setEnabled(enabled);
    groupOrientation->setEnabled(enabled);
    comboFiles->setEnabled(enabled && !m_files.empty());
    btnProcess->setEnabled(enabled);
}

// A share and a score in hundredths run to 100, a count much further.
void TForm1::comboKeepBestUnitChange()
{
    const bool frames = comboKeepBestUnit->currentData().toInt() == int(KeepBestUnit::Frames);
    spinKeepBest->setMaximum(frames ? kKeepBestFramesMax : 100);
}

FrameRange TForm1::frames() const
{
    return FramesFrom(settingsFromControls());
}

std::optional<TimeRange> TForm1::timeRange() const
{
    return TimeRangeFrom(settingsFromControls());
}

std::optional<std::int32_t> TForm1::segmentSeconds() const
{
    return SegmentFrom(settingsFromControls());
}

OutputRate TForm1::outputRate() const
{
    const QString text = comboFps->currentText();
    if (text == comboFps->itemText(0))
        return {};
    return ParseOutputRate(text.toStdString()).value_or(OutputRate{});
}

CentringOptions TForm1::centring() const
{
    return CentringFrom(settingsFromControls());
}

ColourOptions TForm1::colour() const
{
    return ColourFrom(settingsFromControls());
}

// The labels beside the sliders tell the size in use, which is the large
// size's while it is checked: a test shows the same.
void TForm1::updateCropSize()
{
    UpdateCropSize(m_state, m_host.widthPosition(), m_host.heightPosition());
    showCropSize(m_state.cropWidth, m_state.cropHeight);
}

void TForm1::showCropSize(std::int32_t width, std::int32_t height)
{
    lblWidth->setText(QString::number(width));
    lblWidth->adjustSize();
    lblHeight->setText(QString::number(height));
    lblHeight->adjustSize();
}

namespace {

// The cut turned as the output turns it: mirrored left-right first, then
// turned clockwise.
QImage Oriented(const QImage& cut, const Orientation& orientation)
{
    if (!orientation.any())
        return cut;
    const QImage mirrored = orientation.mirror ? cut.mirrored(true, false) : cut;
    return orientation.quarterTurns == 0 ? mirrored
                                         : mirrored.transformed(QTransform().rotate(90.0 * orientation.quarterTurns));
}

}   // namespace

void TForm1::showPreviewPicture(const QImage& picture)
{
    Panel1->setText(QString());
    SetBackground(Panel1, Qt::black);
    const QSize shown = PreviewSize(picture.size());
    Image->resize(shown);
    Image->setPixmap(QPixmap::fromImage(
        shown == picture.size() ? picture : picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    Image->repaint();
    Image->show();
}

void TForm1::showLiveFrame(const FrameView& frame, const FrameOverlay& overlay, std::int32_t played, double fps)
{
    frameView->showFrame(frame, overlay, FrameViewPanel::Detail::Glance);
    // The output window as it was cut, black where it leaves the frame as
    // in the output.
    if (overlay.cropWidth > 0 && overlay.cropHeight > 0)
        showPreviewPicture(Oriented(
            FrameViewPanel::CutOut(frame, overlay.cropLeft, overlay.cropBottom, overlay.cropWidth, overlay.cropHeight),
            overlay.orientation));
    const QString activity = m_analysing ? QStringLiteral("Analysing...") : QStringLiteral("Processing...");
    // A length the file overstated, or read from its header, is no reason
    // to count past it.
    const std::int32_t total = Gauge1->maxValue();
    StatusBar1->setPanelText(BatchHost::kActivity,
                             QStringLiteral("%1 frame %2 of %3, %4 fps")
                                 .arg(activity)
                                 .arg(total > 0 ? std::min(played, total) : played)
                                 .arg(total)
                                 .arg(qRound(fps)));
}

void TForm1::showWarningPanel(const QString& caption)
{
    Panel1->resize(kWarningPanelSize, kWarningPanelSize);
    Image->hide();
    SetBackground(Panel1, QColor(255, 0, 0));
    Panel1->setText(caption);
    fitToControls();
}

void TForm1::showCutWarning(const QString& text)
{
    lblCutWarning->setText(text);
    lblCutWarning->setVisible(!text.isEmpty());
    lblCutWarning->raise();
    arrangeControls();
}

void TForm1::showTestPassedPanel(int cropWidth, int cropHeight)
{
    SetBackground(Panel1, Qt::black);
    Panel1->resize(PreviewSize(QSize(cropWidth, cropHeight)) + QSize(1, 1));
    fitToControls();
}

void TForm1::showMessage(const QString& text)
{
    m_services.messages->show(m_destroying ? nullptr : this, MessageSink::Kind::Information, text);
}

void TForm1::showError(const QString& message)
{
    m_services.messages->show(m_destroying ? nullptr : this, MessageSink::Kind::Error, FormatErrorMessage(message));
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // Opened no larger than the screen has room for, unless the controls
    // need more.
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        const QSize frame = frameGeometry().size() - size();
        const QSize inner = size().boundedTo(room.size() - frame).expandedTo(minimumSize());
        resize(inner);
        move(room.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
}

bool TForm1::askToStopBatch()
{
    if (m_state.stopRequested)
        return true;
    if (m_askingToStop)
        return false;
    m_askingToStop = true;
    const bool stop =
        m_services.messages->ask(this,
                                 QStringLiteral("Stop processing? The current file keeps the frames written so far; "
                                                "the remaining files are skipped."));
    m_askingToStop = false;
    // The batch may have ended while the question was open.
    if (stop && m_batchRunning)
        m_state.stopRequested = true;
    return stop;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A run is going on below this event: it ends first, then the window. A
    // batch is stopped first, if the user agrees; a test is two frames long.
    if (m_reactionDepth > 0) {
        event->ignore();
        if (!m_batchRunning || askToStopBatch())
            m_closePending = true;
        return;
    }
    event->accept();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_batchRunning && !DroppedInputs(event->mimeData()).empty())
        event->acceptProposedAction();
}

QString FailedFilesSummary(const std::vector<FileOutcome>& failed)
{
    QStringList lines;
    lines << (failed.size() == 1 ? QStringLiteral("1 file failed; the log tells more:")
                                 : QStringLiteral("%1 files failed; the log tells more:").arg(failed.size()));
    for (const FileOutcome& file : failed) {
        const std::string reason = file.reason.substr(0, file.reason.find('\n'));
        lines << QFile::decodeName(FileNameOf(file.input).c_str()) + QStringLiteral(": ") + Text(reason);
    }
    return lines.join(QLatin1Char('\n'));
}

void TForm1::dropEvent(QDropEvent* event)
{
    const Dropped dropped = DroppedInputs(event->mimeData());
    if (dropped.empty())
        return;
    event->acceptProposedAction();
    // Opened after the drop has finished, so that the program that dragged
    // the files is not kept waiting through the test and any message box.
    QTimer::singleShot(0, this, [this, dropped] {
        if (dropped.folder.isEmpty())
            openFiles(dropped.files);
        else
            openFolder(dropped.folder);
    });
}
