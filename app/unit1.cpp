// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "settings/orbicrop_settings.h"

#include "app/gauge.h"
#include "app/settings_place.h"
#include "app/status_bar.h"
#include "app/version.h"
#include "run/actions.h"
#include "run/paths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QComboBox>
#include <QGroupBox>
#include <QSpinBox>
#include <QGuiApplication>
#include <QShortcut>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QUrl>

#include <exception>

namespace {

const QColor kGrey(128, 128, 128);
const QColor kSilver(192, 192, 192);
constexpr int kWarningPanelSize = 200;
constexpr int kRightMargin = 9;    // the window's edge beyond its right-most control
constexpr int kBottomMargin = 2;   // between the lowest control and the gauge
constexpr int kBarHeight = 19;     // gauge and status bar

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

QStringList DroppedVideoFiles(const QMimeData* mime)
{
    QStringList files;
    if (mime == nullptr || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && IsVideoFileName(path) && QFileInfo(path).isFile())
            files << path;
    }
    return files;
}

}   // namespace

TForm1::TForm1(WindowServices services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)), m_host(*this)
{
    if (!m_services.chooser)
        m_services.chooser = MakeDialogFileChooser();
    if (!m_services.messages)
        m_services.messages = MakeMessageBoxSink();
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
    connect(timerTest, &QTimer::timeout, this, [this] { guarded([this] { timerTestTimer(); }); });
    // A shortcut rather than a key handler: during a batch the focus may be
    // anywhere, on a disabled control or on the log.
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (m_batchRunning)
            askToStopBatch();
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
    m_aviOutput = std::make_unique<AviOutput>(*m_aviWriter);
}

void TForm1::FormDestroy()
{
    SaveSettings();
    m_aviOutput.reset();
    m_aviWriter.reset();
}

void TForm1::openFiles(const QStringList& paths)
{
    if (m_batchRunning)
        return;
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
        Image->show();
        m_state.autoColorPending = true;
        SetControlsEnabled(true);
        btnTestClick();
    });
}

void TForm1::btnOpenClick()
{
    QString directory;
    if (!m_files.empty())
        directory = QFileInfo(QFile::decodeName(m_files.front().c_str())).absolutePath();
    openFiles(m_services.chooser->chooseFiles(this, OpenDialogFilter(), directory));
}

void TForm1::btnTestClick()
{
    if (m_files.empty())
        return;
    if (m_state.busy || m_batchRunning) {
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
    const bool passed = RunTestAction(m_state, m_host);
    emit testRan(passed);
}

void TForm1::btnProcessClick()
{
    // A batch started inside a running test would take that test's half-set
    // flags and end it without its preview; one inside a batch would write
    // the same outputs twice at once. The click is dropped: the button is
    // there again when the run is over.
    if (m_state.busy || m_batchRunning)
        return;
    // Opening other files in the middle of a batch would enable the size
    // sliders while an output is being written at the size it was opened
    // with; Open waits until the batch is over, however it ends.
    m_batchRunning = true;
    btnOpen->setEnabled(false);
    const auto endOfBatch = qScopeGuard([this] {
        m_batchRunning = false;
        btnOpen->setEnabled(true);
    });
    if (comboFormat->currentIndex() == 1) {
        SerOutput serOutput(checkWinJupos->isChecked());
        RunProcessAction(m_state, m_host, serOutput);
    } else {
        RunProcessAction(m_state, m_host, *m_aviOutput);
    }
}

void TForm1::comboFormatChange()
{
    checkWinJupos->setEnabled(comboFormat->currentIndex() == 1);
}

void TForm1::trackCOGChange()
{
    lblCog->setText(QString::number(trackCOG->value()));
    lblCog->adjustSize();
    restartTestTimer();
}

void TForm1::trackWidthChange()
{
    UpdateCropSize(m_state, trackWidth->value(), trackHeight->value());
    lblWidth->setText(QString::number(m_state.cropWidth));
    lblWidth->adjustSize();
    restartTestTimer();
}

void TForm1::trackHeightChange()
{
    UpdateCropSize(m_state, trackWidth->value(), trackHeight->value());
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
    groupMoreOptions->setEnabled(enabled);
    btnProcess->setEnabled(enabled);
}

// A share runs to 100 %, a count much further.
void TForm1::comboKeepBestUnitChange()
{
    spinKeepBest->setMaximum(comboKeepBestUnit->currentIndex() == 1 ? kKeepBestFramesMax : 100);
}

CentringOptions TForm1::centring() const
{
    return CentringFrom(settingsFromControls());
}

void TForm1::updateCropSize()
{
    UpdateCropSize(m_state, trackWidth->value(), trackHeight->value());
    showCropSize(m_state.cropWidth, m_state.cropHeight);
}

void TForm1::showCropSize(std::int32_t width, std::int32_t height)
{
    lblWidth->setText(QString::number(width));
    lblWidth->adjustSize();
    lblHeight->setText(QString::number(height));
    lblHeight->adjustSize();
}

void TForm1::showPreviewPicture(const QImage& picture)
{
    Panel1->setText(QString());
    SetBackground(Panel1, Qt::black);
    Image->resize(picture.size());
    Image->setPixmap(QPixmap::fromImage(picture));
    Image->repaint();
    Image->show();
}

void TForm1::showWarningPanel(const QString& caption)
{
    Panel1->resize(kWarningPanelSize, kWarningPanelSize);
    Image->hide();
    SetBackground(Panel1, QColor(255, 0, 0));
    Panel1->setText(caption);
    fitToControls();
}

void TForm1::showTestPassedPanel(int cropWidth, int cropHeight)
{
    SetBackground(Panel1, Qt::black);
    Panel1->resize(cropWidth + 1, cropHeight + 1);
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

void TForm1::fitToControls()
{
    QRect extent;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child == Gauge1 || child == StatusBar1 || child->isHidden() || child->isWindow())
            continue;
        extent |= child->geometry();
    }
    const int width = extent.right() + 1 + kRightMargin;
    const int height = extent.bottom() + 1 + kBottomMargin + 2 * kBarHeight;
    Gauge1->setGeometry(0, height - 2 * kBarHeight, width, kBarHeight);
    StatusBar1->setGeometry(0, height - kBarHeight, width, kBarHeight);
    setFixedSize(width, height);
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
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
    if (!m_batchRunning && !DroppedVideoFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedVideoFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened after the drop has finished, so that the program that dragged
    // the files is not kept waiting through the test and any message box.
    QTimer::singleShot(0, this, [this, files] { openFiles(files); });
}
