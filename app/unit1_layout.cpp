// SPDX-License-Identifier: GPL-3.0-or-later
// Construction of the window's controls: places, sizes, texts, hints, fonts
// and keyboard order. Places are in pixels at 96 dots per inch; a control in
// a group is placed relative to the group's top-left corner.
#include "app/unit1.h"

#include "app/frame_view_panel.h"
#include "app/gauge.h"
#include "app/log_view.h"
#include "app/plot_panel.h"
#include "app/status_bar.h"
#include "settings/orbicrop_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>

#include <string_view>
#include <utility>

namespace {

constexpr int kFontPixels = 11;   // 8 points at 96 dots per inch
constexpr int kTestDelayMs = 50;
constexpr int kViewDelayMs = 40;

// The options column and the grid inside its groups.
constexpr int kOptionsWidth = 185;   // as wide as the given groups
constexpr int kOptionsTop = 5;       // level with the preview
constexpr int kGroupGap = 6;
constexpr int kFieldLeft = 110;
constexpr int kFieldWidth = 67;
constexpr int kFrameNumberMax = 99999999;

const char* const kHelpLines[] = {
    "1 : Open your AVI file(s)",
    "2 : Set the planet detection threshold while using show effect. Usually the default value 5 is just fine. "
    "(this function is now relative to the histogram peak!). ",
    "    Make sure that about 95% of the planet globe is selected. ",
    "3: Change the image Width and Height to your likings. The planet should stay centered while ",
    "    changing these values. ",
    "4: optional; change output options. ",
    "5: Process AVI(s)",
};

// The first family of the list that is installed; the generic face of the
// hint's kind when none is.
QFont FontOf(std::initializer_list<const char*> families, QFont::StyleHint hint)
{
    QFont font;
    const QStringList installed = QFontDatabase::families();
    for (const char* family : families) {
        if (installed.contains(QString::fromLatin1(family), Qt::CaseInsensitive)) {
            font.setFamily(QString::fromLatin1(family));
            break;
        }
    }
    font.setStyleHint(hint);
    font.setPixelSize(kFontPixels);
    return font;
}

QFont PlainFont()
{
    return FontOf({"MS Sans Serif", "Liberation Sans", "Arial"}, QFont::SansSerif);
}
QFont NarrowFont()
{
    return FontOf({"Arial Narrow", "Liberation Sans Narrow"}, QFont::SansSerif);
}
QFont FixedFont()
{
    return FontOf({"Courier New", "Liberation Mono"}, QFont::TypeWriter);
}

QFont BoldFont()
{
    QFont font = PlainFont();
    font.setBold(true);
    return font;
}

template <typename Widget>
Widget* Make(QWidget* parent, int left, int top, int width, int height)
{
    auto* widget = new Widget(parent);
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A check box of the options column: one statement an option.
QCheckBox* MakeOption(QWidget* parent, int left, int top, int width, int height, const QString& text,
                      const QString& tip = {})
{
    auto* check = Make<QCheckBox>(parent, left, top, width, height);
    check->setText(text);
    check->setToolTip(tip);
    check->setFont(NarrowFont());
    return check;
}

QLabel* MakeLabel(QWidget* parent, int left, int top, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QSlider* MakeSlider(QWidget* parent, int left, int top, int width, int height, int minimum, int maximum, int position,
                    int tickInterval)
{
    auto* slider = Make<QSlider>(parent, left, top, width, height);
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setValue(position);
    slider->setPageStep(tickInterval);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(tickInterval);
    return slider;
}

QString Latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QLabel* MakeSwatch(QWidget* parent, int left, int top)
{
    auto* swatch = Make<QLabel>(parent, left, top, 12, 12);
    swatch->setAutoFillBackground(true);
    return swatch;
}

}   // namespace

void TForm1::createControls()
{
    setFont(PlainFont());
    createOpenButton();
    createThresholdGroup();
    createSizeGroup();
    createOutputGroup();
    createProcessButton();
    createLogAndHelp();

    // The options column: the groups added since, numbered on from the given
    // steps in the order a user decides (the output, its colour and size,
    // the centring, which frames go in), one below the other. They are
    // placed by arrangeControls(), at the window's right edge. Inside each,
    // check boxes start at 8, what depends on one at 24, and the fields at
    // 110, so that the groups read as one grid.
    optionsArea = new QScrollArea(this);
    optionsArea->setFrameShape(QFrame::NoFrame);
    optionsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    optionsPanel = new QWidget;
    optionsArea->setWidget(optionsPanel);
    optionsArea->setWidgetResizable(false);
    createOutputOptionsGroup();
    createColourGroup();
    createCentringGroup();
    createFrameSelectionGroup();
    createCalibrationGroup();
    createCaptureTimeGroup();
    createNightGroup();
    createOrientationGroup();
    createLevelsGroup();
    createViews();
    // Made after the help box so that a large preview covers the help, not
    // the help the preview.
    createPreview();
    createBars();

    setTabOrder();
    btnOpen->setFocus();
}

void TForm1::createOpenButton()
{
    btnOpen = Make<QPushButton>(this, 8, 0, 185, 41);
    btnOpen->setText(QStringLiteral("1) Open AVI File(s)"));
    btnOpen->setFont(BoldFont());
}

void TForm1::createThresholdGroup()
{
    GroupBox2 = Make<QGroupBox>(this, 8, 48, 185, 105);
    GroupBox2->setTitle(QStringLiteral("2) Planet Detection Threshold"));
    trackCOG = MakeSlider(GroupBox2, 8, 24, 137, 22, kThresholdMin, kThresholdMax, 5, 10);
    trackCOG->setToolTip(
        QStringLiteral("Threshold to separate planet from space. Absolute values relative to histogram peak."));
    lblCog = MakeLabel(GroupBox2, 152, 28, QStringLiteral("5"));
    checkPreview =
        MakeOption(GroupBox2, 24, 54, 73, 17, QStringLiteral("Show Effect"), QStringLiteral("Show threshold effect"));
    checkInverse = MakeOption(GroupBox2, 24, 70, 145, 17, QStringLiteral("Invert, center on dark pixels"),
                              QStringLiteral("Center on dark spots instead of bright ones (e.g. sunspots)"));
}

void TForm1::createSizeGroup()
{
    const QFont narrow = NarrowFont();
    GroupBox1 = Make<QGroupBox>(this, 8, 160, 185, 94);
    GroupBox1->setTitle(QStringLiteral("3) Image Size"));
    Label1 = MakeLabel(GroupBox1, 8, 28, QStringLiteral("W"));
    Label1->setFont(narrow);
    trackWidth = MakeSlider(GroupBox1, 24, 24, 121, 20, kCropPositionMin, kCropPositionMax, 4, 2);
    trackWidth->setToolTip(QStringLiteral("Image width"));
    lblWidth = MakeLabel(GroupBox1, 152, 28, QString());
    Label2 = MakeLabel(GroupBox1, 8, 52, QStringLiteral("H"));
    Label2->setFont(narrow);
    trackHeight = MakeSlider(GroupBox1, 24, 48, 121, 20, kCropPositionMin, kCropPositionMax, 4, 2);
    trackHeight->setToolTip(QStringLiteral("Image height"));
    lblHeight = MakeLabel(GroupBox1, 152, 52, QString());
}

void TForm1::createOutputGroup()
{
    const QFont narrow = NarrowFont();
    GroupBox3 = Make<QGroupBox>(this, 8, 257, 185, 77);
    GroupBox3->setTitle(QStringLiteral("4) Output"));
    Label4 = MakeLabel(GroupBox3, 16, 16, QStringLiteral("RGB24"));
    Label4->setFont(narrow);
    lblR = MakeSwatch(GroupBox3, 72, 16);
    lblG = MakeSwatch(GroupBox3, 86, 16);
    lblB = MakeSwatch(GroupBox3, 100, 16);
    Label3 = MakeLabel(GroupBox3, 136, 16, QStringLiteral("Y8"));
    Label3->setFont(narrow);
    checkColor = Make<QRadioButton>(GroupBox3, 16, 32, 73, 17);
    checkColor->setText(QStringLiteral("Color"));
    checkColor->setToolTip(QStringLiteral("Output as DIB RGB24 avi"));
    checkColor->setFont(narrow);
    checkColor->setChecked(true);
    checkY800 = Make<QRadioButton>(GroupBox3, 88, 32, 65, 17);
    checkY800->setText(QStringLiteral("Grayscale"));
    checkY800->setToolTip(QStringLiteral("Output as Y800 grayscale avi"));
    checkY800->setFont(narrow);
    checkDebayerSafe = Make<QCheckBox>(GroupBox3, 88, 48, 89, 17);
    checkDebayerSafe->setText(QStringLiteral("Debayer Safe"));
    checkDebayerSafe->setToolTip(QStringLiteral(
        "Experimental. Check for raw Color Avi's to make sure avi can still be debayered (even cropping)"));
    checkDebayerSafe->setFont(narrow);
    checkDebayerSafe->setEnabled(false);
}

void TForm1::createProcessButton()
{
    btnProcess = Make<QPushButton>(this, 8, 344, 185, 41);
    btnProcess->setText(QStringLiteral("5) Process AVI(s)"));
    btnProcess->setToolTip(QStringLiteral("Process all the selected AVI's according to the current settings"));
    btnProcess->setFont(BoldFont());
    btnProcess->setEnabled(false);
}

void TForm1::createLogAndHelp()
{
    Label6 = MakeLabel(this, 16, 389, QStringLiteral("Log"));
    Memo1 = Make<LogView>(this, 8, 405, 185, 145);
    Memo1->setFont(FixedFont());

    GroupBox4 = Make<QGroupBox>(this, 200, 405, 497, 145);
    GroupBox4->setTitle(QStringLiteral("Help"));
    Label5 = Make<QLabel>(GroupBox4, 8, 24, 473, 105);
    Label5->setTextFormat(Qt::PlainText);
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QStringList help;
    for (const char* line : kHelpLines)
        help << QString::fromLatin1(line);
    Label5->setText(help.join(QLatin1Char('\n')));
}

void TForm1::createOutputOptionsGroup()
{
    const QFont narrow = NarrowFont();
    // Rows close together: the window opens at its first size only while
    // that holds the first four groups whole (fitToControls), and with the
    // frame rate's row they fill it to the pixel.
    groupMoreOptions = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 139);
    groupMoreOptions->setTitle(QStringLiteral("6) Output options"));
    captionFormat = MakeLabel(groupMoreOptions, 8, 22, QStringLiteral("Format"));
    captionFormat->setFont(narrow);
    comboFormat = Make<QComboBox>(groupMoreOptions, kFieldLeft, 18, kFieldWidth, 20);
    comboFormat->addItem(QStringLiteral("AVI"));
    comboFormat->addItem(QStringLiteral("SER"));
    // In the order of OutputFormat: the index is the format.
    comboFormat->addItem(QStringLiteral("TIFF"));
    comboFormat->addItem(QStringLiteral("FITS"));
    comboFormat->addItem(QStringLiteral("PNG"));
    comboFormat->setToolTip(QStringLiteral(
        "SER keeps a SER capture's own samples (12 and 16 bits), its Bayer pattern, header and frame times; "
        "TIFF, FITS and PNG write a folder NAME_orbic of still images, one a frame, at the source's depth"));
    checkWinJupos = Make<QCheckBox>(groupMoreOptions, 8, 40, 170, 17);
    checkWinJupos->setText(QStringLiteral("WinJUPOS time in the name"));
    checkWinJupos->setToolTip(QStringLiteral(
        "Name each SER output after the mid-time of its frames (YYYY-MM-DD-HHMM_T-), when their times are known"));
    checkWinJupos->setFont(narrow);
    checkWinJupos->setEnabled(false);
    createFrameRateRow(60);
    // The button, a small reset beside it, the folder in use below.
    btnOutputFolder = Make<QPushButton>(groupMoreOptions, 8, 82, 145, 20);
    btnOutputFolder->setText(QStringLiteral("Output folder\u2026"));
    btnOutputFolder->setToolTip(QStringLiteral("Choose the folder the outputs are written to"));
    btnOutputFolderReset = Make<QPushButton>(groupMoreOptions, 157, 82, 20, 20);
    btnOutputFolderReset->setText(QStringLiteral("\u00D7"));
    btnOutputFolderReset->setToolTip(QStringLiteral("Back to the default: each batch writes beside its first file"));
    btnOutputFolderReset->setEnabled(false);
    lblOutputFolder = Make<QLabel>(groupMoreOptions, 8, 104, 169, 14);
    lblOutputFolder->setTextFormat(Qt::PlainText);
    lblOutputFolder->setFont(narrow);
    // One line; what becomes of the failed files' messages is the hint's.
    checkKeepGoing = MakeOption(
        groupMoreOptions, 8, 118, 170, 17, QStringLiteral("Keep going when a file fails"),
        QStringLiteral(
            "No message stops the batch at a file that fails: its message goes to the log, and one message at the end "
            "lists the files that failed"));
}

// An editable list: its two items, or a rate typed over them, which only
// numbers of the tool's form can be.
void TForm1::createFrameRateRow(int top)
{
    const QFont narrow = NarrowFont();
    captionFps = MakeLabel(groupMoreOptions, 8, top + 4, QStringLiteral("Frame rate"));
    captionFps->setFont(narrow);
    // Wider than a field, as the demosaicing method: "30 (default)" is typed over.
    comboFps = Make<QComboBox>(groupMoreOptions, 64, top, kFieldLeft + kFieldWidth - 64, 20);
    comboFps->setEditable(true);
    comboFps->setInsertPolicy(QComboBox::NoInsert);
    comboFps->addItem(QStringLiteral("30 (default)"));
    comboFps->addItem(QStringLiteral("Source"));
    comboFps->setFont(narrow);
    comboFps->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("30 \\(default\\)|source|[0-9]{1,4}(\\.[0-9]{1,3})?"),
                           QRegularExpression::CaseInsensitiveOption),
        comboFps));
    for (QWidget* widget : std::initializer_list<QWidget*>{captionFps, comboFps})
        widget->setToolTip(
            QStringLiteral("The rate an AVI output plays at: 30 frames per second, the source's own (the median "
                           "interval of a SER capture's time stamps, else the rate the video declares), or one typed "
                           "in, up to 1000 (25, 59.94)"));
}

void TForm1::createColourGroup()
{
    const QFont narrow = NarrowFont();
    groupColour = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 149);
    groupColour->setTitle(QStringLiteral("7) Colour and size"));
    captionBayer = MakeLabel(groupColour, 8, 22, QStringLiteral("Bayer"));
    captionBayer->setFont(narrow);
    comboBayer = Make<QComboBox>(groupColour, kFieldLeft, 18, kFieldWidth, 20);
    // Each item holds its pattern or method, so that nothing else needs to
    // know the order of the items.
    comboBayer->addItem(QStringLiteral("From file"));
    comboBayer->addItem(QStringLiteral("Auto"), QStringLiteral("auto"));
    for (BayerPattern pattern : {BayerPattern::Rggb, BayerPattern::Grbg, BayerPattern::Gbrg, BayerPattern::Bggr})
        comboBayer->addItem(Latin1(NameOf(pattern)), int(pattern));
    comboBayer->setFont(narrow);
    comboBayer->setToolTip(QStringLiteral("The colour pattern of raw colour AVIs, which do not name it. "
                                          "A SER file that names its own pattern keeps it. "
                                          "Auto: read from each file's first frames."));
    checkDebayer = MakeOption(
        groupColour, 8, 40, 170, 17, QStringLiteral("Debayer (colour from raw)"),
        QStringLiteral("Raw Bayer videos give colour outputs; the planet is still found on the raw samples"));
    captionDebayerMethod = MakeLabel(groupColour, 24, 62, QStringLiteral("Method"));
    captionDebayerMethod->setFont(narrow);
    comboDebayerMethod = Make<QComboBox>(groupColour, 64, 58, kFieldLeft + kFieldWidth - 64, 20);
    for (DemosaicMethod method : {DemosaicMethod::EdgeAware, DemosaicMethod::Bilinear})
        comboDebayerMethod->addItem(Latin1(NameOf(method)), int(method));
    comboDebayerMethod->setCurrentIndex(comboDebayerMethod->findData(int(ColourOptions{}.method)));
    comboDebayerMethod->setFont(narrow);
    comboDebayerMethod->setEnabled(false);
    for (QWidget* widget : std::initializer_list<QWidget*>{captionDebayerMethod, comboDebayerMethod})
        widget->setToolTip(
            QStringLiteral("edge-aware: colour is interpolated along edges, with fewer colour fringes on the limb; "
                           "bilinear: the plain average of the neighbours"));
    checkLargeSize = MakeOption(
        groupColour, 8, 82, 95, 17, QStringLiteral("Large size"),
        QStringLiteral(
            "Outputs larger than the sliders reach, for the Moon and the Sun: this width and height in pixels "
            "instead of the sliders'"));
    checkSizeAuto = MakeOption(
        groupColour, kFieldLeft, 82, kFieldWidth, 17, QStringLiteral("Auto"),
        QStringLiteral("The output size from the planet: its largest extent in the first frames (rings included) and "
                       "a quarter more, for each file. The size controls are not used."));
    spinLargeWidth = Make<QSpinBox>(groupColour, 24, 100, 67, 20);
    spinLargeWidth->setToolTip(QStringLiteral("Output width in pixels, a multiple of 16 (up to 4096)"));
    captionLargeBy = MakeLabel(groupColour, 97, 103, QStringLiteral("x"));
    captionLargeBy->setFont(narrow);
    spinLargeHeight = Make<QSpinBox>(groupColour, kFieldLeft, 100, kFieldWidth, 20);
    spinLargeHeight->setToolTip(QStringLiteral("Output height in pixels, a multiple of 16 (up to 4096)"));
    const OrbicropSettings defaults;
    for (auto [spin, size] :
         {std::pair{spinLargeWidth, defaults.largeWidth}, {spinLargeHeight, defaults.largeHeight}}) {
        spin->setRange(kLargeSizeMin, kLargeSizeMax);
        spin->setSingleStep(kCropSizeStep);
        spin->setValue(size);
        // Typed sizes are snapped when they are complete, not at each digit.
        spin->setKeyboardTracking(false);
        spin->setEnabled(false);
    }
    checkFullFrame = MakeOption(
        groupColour, 8, 124, 100, 17, QStringLiteral("Whole frame"),
        QStringLiteral("Every output frame as large as its input frame, moved by the centring; the parts it leaves "
                       "uncovered are black. The size controls are not used."));
    checkAlignRgb = MakeOption(
        groupColour, kFieldLeft, 124, kFieldWidth, 17, QStringLiteral("Align R, B"),
        QStringLiteral("Measures how far red and blue lie from green on the planet in each file's first frames "
                       "(the atmosphere's dispersion, strong low in the sky) and moves them back in every colour "
                       "output frame"));
}

void TForm1::createCentringGroup()
{
    const QFont narrow = NarrowFont();
    groupCentring = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 82);
    groupCentring->setTitle(QStringLiteral("8) Centring"));
    checkLargestObject =
        MakeOption(groupCentring, 8, 18, 100, 17, QStringLiteral("Largest object"),
                   QStringLiteral("Centre on the largest bright object; moons and stars beside it are ignored"));
    checkSurface =
        MakeOption(groupCentring, 8, 36, 170, 17, QStringLiteral("Surface (align by content)"),
                   QStringLiteral("Moon, Sun and close-ups that fill the frame: frames are aligned on their detail"));
    captionSurfaceRefresh = MakeLabel(groupCentring, 24, 58, QStringLiteral("Reference every"));
    captionSurfaceRefresh->setFont(narrow);
    spinSurfaceRefresh = Make<QSpinBox>(groupCentring, kFieldLeft, 54, kFieldWidth, 20);
    spinSurfaceRefresh->setRange(1, 10000);
    spinSurfaceRefresh->setValue(kSurfaceRefreshDefault);
    for (QWidget* widget : std::initializer_list<QWidget*>{captionSurfaceRefresh, spinSurfaceRefresh})
        widget->setToolTip(QStringLiteral("Frames between two reference frames in surface mode"));
    checkLimb = MakeOption(groupCentring, kFieldLeft, 18, kFieldWidth, 17, QStringLiteral("On limb"),
                           QStringLiteral("Crescents and phases: the centre of the full disc, from a circle fitted "
                                          "to its lit limb, instead of the centre of its light"));
}

void TForm1::createCalibrationGroup()
{
    groupCalibration = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 110);
    groupCalibration->setTitle(QStringLiteral("10) Calibration"));
    createMasterRow(18, QStringLiteral("Dark"), btnDark, lblDark, btnDarkClear);
    createMasterRow(40, QStringLiteral("Flat"), btnFlat, lblFlat, btnFlatClear);
    createMasterRow(62, QStringLiteral("Bias"), btnBias, lblBias, btnBiasClear);
    btnDark->setToolTip(QStringLiteral("A master dark (FITS) subtracted from every frame at its own depth"));
    btnFlat->setToolTip(
        QStringLiteral("A master flat (FITS) every frame is divided by, normalised to a mean of 1 for each colour"));
    btnBias->setToolTip(QStringLiteral("A master bias (FITS) subtracted from every frame when no dark is chosen"));
    captionHotPixels = MakeLabel(groupCalibration, 8, 90, QStringLiteral("Hot pixels"));
    captionHotPixels->setFont(NarrowFont());
    comboHotPixels = Make<QComboBox>(groupCalibration, kFieldLeft, 86, kFieldWidth, 20);
    comboHotPixels->addItem(QStringLiteral("Off"));
    comboHotPixels->addItem(QStringLiteral("From dark"));
    comboHotPixels->addItem(QStringLiteral("Auto"));
    comboHotPixels->setFont(NarrowFont());
    for (QWidget* widget : std::initializer_list<QWidget*>{captionHotPixels, comboHotPixels})
        widget->setToolTip(QStringLiteral(
            "Hot and cold pixels replaced by the median of their neighbours of the same colour: found in the master "
            "dark, or (Auto) in the frames themselves, as pixels that stand out in the same place in most frames"));
}

void TForm1::createCaptureTimeGroup()
{
    groupCaptureTime = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 66);
    groupCaptureTime->setTitle(QStringLiteral("11) Capture time"));
    captionNameTime = MakeLabel(groupCaptureTime, 8, 22, QStringLiteral("Name time"));
    captionNameTime->setFont(NarrowFont());
    editNameTime = Make<QLineEdit>(groupCaptureTime, 72, 18, 105, 20);
    editNameTime->setPlaceholderText(QStringLiteral("%Y%m%d_%H%M%S"));
    editNameTime->setFont(NarrowFont());
    for (QWidget* widget : std::initializer_list<QWidget*>{captionNameTime, editNameTime})
        widget->setToolTip(
            QStringLiteral("How file names give the capture time where no time stamps or capture program's notes do: "
                           "%Y %y %m %d %j %H %M %S %f and literal characters"));
    captionUtcOffset = MakeLabel(groupCaptureTime, 8, 44, QStringLiteral("Names' UTC offset"));
    captionUtcOffset->setFont(NarrowFont());
    editUtcOffset = Make<QLineEdit>(groupCaptureTime, kFieldLeft, 40, kFieldWidth, 20);
    editUtcOffset->setPlaceholderText(QStringLiteral("+00:00"));
    editUtcOffset->setFont(NarrowFont());
    for (QWidget* widget : std::initializer_list<QWidget*>{captionUtcOffset, editUtcOffset})
        widget->setToolTip(QStringLiteral(
            "The local time file names are written in, as +HH:MM from UT; a capture program's notes that say "
            "their own offset win"));
}

// The night's two buttons side by side, its choices below them.
void TForm1::createNightGroup()
{
    groupNight = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 94);
    groupNight->setTitle(QStringLiteral("12) Night"));
    btnOpenFolder = Make<QPushButton>(groupNight, 8, 18, 82, 20);
    btnOpenFolder->setText(QStringLiteral("Open folder\u2026"));
    btnOpenFolder->setFont(NarrowFont());
    btnOpenFolder->setToolTip(
        QStringLiteral("Open every capture in a folder, in capture-time order; Process then runs them as a night, "
                       "skips those done before into the output folder and writes a report of the night there. "
                       "A folder of numbered FITS, TIFF or PNG frames opens as one capture"));
    btnNightReport = Make<QPushButton>(groupNight, 95, 18, 82, 20);
    btnNightReport->setText(QStringLiteral("Night report"));
    btnNightReport->setFont(NarrowFont());
    btnNightReport->setToolTip(QStringLiteral("Show the last night's report (night.html) in the browser"));
    btnNightReport->setEnabled(false);
    checkRecurse = MakeOption(groupNight, 8, 40, 170, 17, QStringLiteral("Subfolders too"),
                              QStringLiteral("A folder opened takes the captures in its subfolders as well"));
    checkJoinAuto = MakeOption(
        groupNight, 8, 56, 170, 17, QStringLiteral("Join split captures"),
        QStringLiteral("The parts of a capture its program split (numbered names, the same frame size, depth and "
                       "colour, each starting as the last ended) go into one output; the log names them"));
    checkForce = MakeOption(groupNight, 8, 72, 170, 17, QStringLiteral("Redo captures done before"),
                            QStringLiteral("Process again the captures the output folder's resume file says were "
                                           "done with the same options"));
}

// Levels would grow "7) Colour and size", and with it the window's least
// height, which the given groups already fill: so a group of its own, below
// the rest.
void TForm1::createLevelsGroup()
{
    groupLevels = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 46);
    groupLevels->setTitle(QStringLiteral("14) Levels"));
    captionLevels = MakeLabel(groupLevels, 8, 22, QStringLiteral("8-bit levels"));
    captionLevels->setFont(NarrowFont());
    comboLevels = Make<QComboBox>(groupLevels, kFieldLeft, 18, kFieldWidth, 20);
    comboLevels->setEditable(true);
    comboLevels->addItem(QStringLiteral("Off"));
    comboLevels->addItem(QStringLiteral("auto"));
    comboLevels->setFont(NarrowFont());
    for (QWidget* widget : std::initializer_list<QWidget*>{captionLevels, comboLevels})
        widget->setToolTip(QStringLiteral(
            "How 12- and 16-bit samples become the 8-bit AVI and the preview. Off: their top 8 bits. auto: black at "
            "the sky, white at the planet's brightest, from each file's first frames. Or type BLACK:WHITE[:GAMMA] "
            "in the source's values (0 to 4095 for 12 bits). SER, TIFF, FITS and PNG keep the samples."));
}

// Two combo boxes, then the meridian flip's time beside its check box.
void TForm1::createOrientationGroup()
{
    groupOrientation = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 86);
    groupOrientation->setTitle(QStringLiteral("13) Orientation"));
    captionRotate = MakeLabel(groupOrientation, 8, 22, QStringLiteral("Rotate"));
    captionRotate->setFont(NarrowFont());
    comboRotate = Make<QComboBox>(groupOrientation, kFieldLeft, 18, kFieldWidth, 20);
    comboRotate->addItem(QStringLiteral("None"), 0);
    for (const int degrees : {90, 180, 270})
        comboRotate->addItem(QString::number(degrees) + QStringLiteral("\u00b0"), degrees);
    comboRotate->setFont(NarrowFont());
    for (QWidget* widget : std::initializer_list<QWidget*>{captionRotate, comboRotate})
        widget->setToolTip(QStringLiteral("Every output frame turned clockwise, after the flip; 90\u00b0 and "
                                          "270\u00b0 swap the output's width and height"));
    captionFlip = MakeLabel(groupOrientation, 8, 44, QStringLiteral("Flip"));
    captionFlip->setFont(NarrowFont());
    comboFlip = Make<QComboBox>(groupOrientation, kFieldLeft, 40, kFieldWidth, 20);
    comboFlip->addItem(QStringLiteral("None"), int(Flip::None));
    comboFlip->addItem(QStringLiteral("h (left-right)"), int(Flip::H));
    comboFlip->addItem(QStringLiteral("v (top-bottom)"), int(Flip::V));
    comboFlip->setFont(NarrowFont());
    for (QWidget* widget : std::initializer_list<QWidget*>{captionFlip, comboFlip})
        widget->setToolTip(QStringLiteral("Every output frame mirrored (a star diagonal's image); a raw mosaic's "
                                          "pattern follows"));
    checkMeridianFlip = MakeOption(
        groupOrientation, 8, 64, 100, 17, QStringLiteral("Meridian flip"),
        QStringLiteral("Captures started in the 12 hours after this time of day (UT) are turned by a further "
                       "180\u00b0, so that a night comes out one way up"));
    editMeridianFlip = Make<QTimeEdit>(groupOrientation, kFieldLeft, 62, kFieldWidth, 20);
    editMeridianFlip->setDisplayFormat(QStringLiteral("HH:mm"));
    editMeridianFlip->setFont(NarrowFont());
    editMeridianFlip->setToolTip(checkMeridianFlip->toolTip());
}

void TForm1::createMasterRow(int top, const QString& name, QPushButton*& choose, QLabel*& label, QPushButton*& clear)
{
    choose = Make<QPushButton>(groupCalibration, 8, top, 50, 20);
    choose->setText(name + QStringLiteral("\u2026"));
    choose->setFont(NarrowFont());
    label = Make<QLabel>(groupCalibration, 62, top + 3, 91, 14);
    label->setTextFormat(Qt::PlainText);
    label->setFont(NarrowFont());
    label->setText(QStringLiteral("none"));
    clear = Make<QPushButton>(groupCalibration, 157, top, 20, 20);
    clear->setText(QStringLiteral("\u00D7"));
    clear->setToolTip(QStringLiteral("No master ") + name.toLower());
    clear->setEnabled(false);
}

void TForm1::createFrameSelectionGroup()
{
    groupReject = Make<QGroupBox>(optionsPanel, 0, 0, kOptionsWidth, 241);
    groupReject->setTitle(QStringLiteral("9) Frame selection"));
    createRejectionChoices();
    createFrameLimits();
}

void TForm1::createRejectionChoices()
{
    const QFont narrow = NarrowFont();
    checkRejectCut = MakeOption(groupReject, 8, 18, 170, 17, QStringLiteral("Reject cut discs"),
                                QStringLiteral("Drop the frames whose object reaches the frame's border"));
    captionMinSize = MakeLabel(groupReject, 24, 42, QStringLiteral("Min size"));
    captionMinSize->setFont(narrow);
    spinMinSize = Make<QSpinBox>(groupReject, kFieldLeft, 38, kFieldWidth, 20);
    spinMinSize->setRange(0, kRejectMinSizeMax);
    spinMinSize->setSuffix(QStringLiteral(" px"));
    spinMinSize->setSpecialValueText(QStringLiteral("off"));
    for (QWidget* widget : std::initializer_list<QWidget*>{captionMinSize, spinMinSize})
        widget->setToolTip(QStringLiteral(
            "Drop the frames whose object's larger diameter is below this many pixels, e.g. a hot pixel taken for "
            "the planet"));
    checkMaxSaturated = MakeOption(groupReject, 8, 62, 100, 17, QStringLiteral("Max saturated"));
    spinMaxSaturated = Make<QDoubleSpinBox>(groupReject, kFieldLeft, 60, kFieldWidth, 20);
    spinMaxSaturated->setRange(0.0, 100.0);
    spinMaxSaturated->setDecimals(1);
    spinMaxSaturated->setSingleStep(0.1);
    spinMaxSaturated->setValue(kRejectMaxSaturatedDefault);
    spinMaxSaturated->setSuffix(QStringLiteral(" %"));
    checkRejectDim = MakeOption(groupReject, 8, 84, 100, 17, QStringLiteral("Reject dim below"));
    spinRejectDim = Make<QSpinBox>(groupReject, kFieldLeft, 82, kFieldWidth, 20);
    spinRejectDim->setRange(1, 100);
    spinRejectDim->setValue(kRejectDimDefault);
    spinRejectDim->setSuffix(QStringLiteral(" %"));
    // Each check box and its spin box tell the same.
    for (QWidget* widget : std::initializer_list<QWidget*>{checkMaxSaturated, spinMaxSaturated})
        widget->setToolTip(QStringLiteral(
            "Drop the frames with more than this share of the object's pixels at the top value (overexposed)"));
    for (QWidget* widget : std::initializer_list<QWidget*>{checkRejectDim, spinRejectDim})
        widget->setToolTip(QStringLiteral(
            "Drop the frames whose object is less bright above the sky than this share of the file's median "
            "(clouds, haze). Takes a measuring pass over each file before it is written."));
    spinMaxSaturated->setEnabled(false);
    spinRejectDim->setEnabled(false);
    // Of the frames that pass: the sharpest.
    captionKeepBest = MakeLabel(groupReject, 8, 108, QStringLiteral("Keep best"));
    captionKeepBest->setFont(narrow);
    spinKeepBest = Make<QSpinBox>(groupReject, 56, 104, 50, 20);
    spinKeepBest->setRange(0, 100);
    spinKeepBest->setSpecialValueText(QStringLiteral("all"));
    for (QWidget* widget : std::initializer_list<QWidget*>{captionKeepBest, spinKeepBest})
        widget->setToolTip(QStringLiteral(
            "Write only the sharpest frames of each file, in their order: this share of them (%), this many "
            "(frames), or those whose score reaches this many hundredths of the file's sharpest (score: 80 keeps "
            "the frames scoring at least 0.80 of the best)"));
    comboKeepBestUnit = Make<QComboBox>(groupReject, kFieldLeft, 104, kFieldWidth, 20);
    comboKeepBestUnit->addItem(QStringLiteral("%"), int(KeepBestUnit::Percent));
    comboKeepBestUnit->addItem(QStringLiteral("frames"), int(KeepBestUnit::Frames));
    comboKeepBestUnit->addItem(QStringLiteral("score"), int(KeepBestUnit::Score));
    comboKeepBestUnit->setFont(narrow);
    comboKeepBestUnit->setToolTip(QStringLiteral("What the number beside counts: a share, frames, or a score"));
    checkBestFrame =
        MakeOption(groupReject, 8, 128, 170, 17, QStringLiteral("Save best frame (PNG)"),
                   QStringLiteral("Save the sharpest crop of each file beside its output as NAME_best.png"));
}

void TForm1::createFrameLimits()
{
    const QFont narrow = NarrowFont();
    // Which frames of each file go in at all: numbered as the slider and the
    // track number them, from 0.
    checkFrames = MakeOption(groupReject, 8, 150, 56, 17, QStringLiteral("Frames"));
    spinFramesFirst = Make<QSpinBox>(groupReject, 64, 148, 48, 20);
    spinFramesFirst->setRange(0, kFrameNumberMax);
    captionFramesTo = MakeLabel(groupReject, 115, 151, QStringLiteral("to"));
    captionFramesTo->setFont(narrow);
    spinFramesLast = Make<QSpinBox>(groupReject, 127, 148, 50, 20);
    spinFramesLast->setRange(-1, kFrameNumberMax);
    spinFramesLast->setSpecialValueText(QStringLiteral("end"));
    spinFramesLast->setValue(-1);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{checkFrames, spinFramesFirst, captionFramesTo, spinFramesLast})
        widget->setToolTip(QStringLiteral(
            "Only these frames of each file, numbered from 0 as the frame slider and the track number them "
            "(\"end\": to the last); the test plays the first two of them"));
    spinFramesFirst->setEnabled(false);
    spinFramesLast->setEnabled(false);
    // A capture split by the camera program, read as one.
    checkJoin = MakeOption(
        groupReject, 8, 172, 170, 17, QStringLiteral("Join all files into one output"),
        QStringLiteral(
            "The chosen files, in the list's order, become one output named after the first; they must share their "
            "frame size (and for SER their colour and depth). The frame numbers count over all of them."));
    // The minutes of good seeing, by the frames' own capture times.
    checkTimeRange = MakeOption(groupReject, 8, 194, 40, 17, QStringLiteral("UTC"));
    const auto makeTime = [&](int left, int width) {
        auto* edit = Make<QTimeEdit>(groupReject, left, 192, width, 20);
        edit->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        // The arrows would leave no room for the seconds; the keys and the
        // wheel still step the field under the cursor.
        edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
        edit->setFont(narrow);
        edit->setEnabled(false);
        return edit;
    };
    timeRangeFirst = makeTime(48, 56);
    captionTimeRangeTo = MakeLabel(groupReject, 108, 195, QStringLiteral("to"));
    captionTimeRangeTo->setFont(narrow);
    timeRangeEnd = makeTime(121, 56);
    timeRangeEnd->setTime(QTime(0, 2));
    for (QWidget* widget :
         std::initializer_list<QWidget*>{checkTimeRange, timeRangeFirst, captionTimeRangeTo, timeRangeEnd})
        widget->setToolTip(QStringLiteral(
            "Only the frames captured from the first time of day (UTC) up to the second, by their time stamps or "
            "the start time; an end before the start reaches over midnight"));
    // Pieces short enough to stack without derotation.
    checkSegment = MakeOption(groupReject, 8, 216, 100, 17, QStringLiteral("Split every"));
    spinSegment = Make<QSpinBox>(groupReject, kFieldLeft, 214, kFieldWidth, 20);
    spinSegment->setRange(1, kSegmentSecondsMax);
    spinSegment->setValue(120);
    spinSegment->setSuffix(QStringLiteral(" s"));
    spinSegment->setEnabled(false);
    for (QWidget* widget : std::initializer_list<QWidget*>{checkSegment, spinSegment})
        widget->setToolTip(QStringLiteral(
            "Cut each output into pieces of at most this much capture time, NAME_orbic_part1, _part2 ... "
            "(with WinJUPOS names, each named by its own mid-time)"));
}

// The views of the tested file fill the room between the given controls
// and the options column; arrangeControls() places them.
void TForm1::createViews()
{
    const QFont narrow = NarrowFont();
    frameView = new FrameViewPanel(this);
    frameView->setObjectName(QStringLiteral("frameView"));
    frameView->setToolTip(
        QStringLiteral("The whole frame: output window (green box), centre (cross), object (ellipse)"));
    trackFrame = new QSlider(Qt::Horizontal, this);
    trackFrame->setRange(0, 0);
    trackFrame->setToolTip(QStringLiteral(
        "Frame of the tested file shown above, with its crop: arrow keys step one frame, page keys a tenth"));
    trackFrame->setEnabled(false);
    lblFrame = new QLabel(this);
    lblFrame->setTextFormat(Qt::PlainText);
    lblFrame->setFont(narrow);
    // The open files by name, so that a batch of many shows what it holds;
    // choosing one tests it (the batch still runs them all, in order).
    comboFiles = new QComboBox(this);
    comboFiles->setFont(narrow);
    comboFiles->setToolTip(QStringLiteral("The open files: the one chosen here is tested and shown"));
    comboFiles->setEnabled(false);
    btnAnalyse = new QPushButton(QStringLiteral("Analyse file"), this);
    btnAnalyse->setToolTip(
        QStringLiteral("Play the tested file as Process would, writing nothing, and plot its drift and quality"));
    btnAnalyse->setEnabled(false);
    plotPanel = new PlotPanel(this);
    plotPanel->setObjectName(QStringLiteral("plotPanel"));

    // Dragging changes the slider far faster than a frame is decoded: only
    // where it rests is viewed.
    timerView = new QTimer(this);
    timerView->setSingleShot(true);
    timerView->setInterval(kViewDelayMs);
}

void TForm1::createPreview()
{
    Panel1 = Make<QLabel>(this, 200, 5, 200, 200);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setAutoFillBackground(true);
    Image = Make<QLabel>(Panel1, 0, 0, 200, 200);
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblCutWarning = Make<QLabel>(this, 200, 210, 193, 60);
    lblCutWarning->setObjectName(QStringLiteral("lblCutWarning"));
    lblCutWarning->setWordWrap(true);
    lblCutWarning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette red = lblCutWarning->palette();
    red.setColor(QPalette::WindowText, QColor(220, 0, 0));
    lblCutWarning->setPalette(red);
    lblCutWarning->hide();
}

void TForm1::createBars()
{
    Gauge1 = new TGauge(this);
    StatusBar1 = new StatusBar(this);

    checkIgnoreIncomplete = new QCheckBox(QStringLiteral("Remove incomplete frames"), this);
    checkIgnoreIncomplete->hide();
    checkAutocolor = new QCheckBox(QStringLiteral("Autodetect"), this);
    checkAutocolor->setChecked(true);
    checkAutocolor->hide();

    timerTest = new QTimer(this);
    timerTest->setInterval(kTestDelayMs);
}

void TForm1::setTabOrder()
{
    // The given controls first, in their order; then the options column top
    // to bottom; then the views' controls.
    QWidget* const order[] = {btnOpen,
                              btnProcess,
                              trackWidth,
                              trackHeight,
                              trackCOG,
                              checkPreview,
                              checkInverse,
                              checkColor,
                              checkY800,
                              checkDebayerSafe,
                              Memo1,
                              comboFormat,
                              checkWinJupos,
                              comboFps,
                              btnOutputFolder,
                              btnOutputFolderReset,
                              checkKeepGoing,
                              comboBayer,
                              checkDebayer,
                              comboDebayerMethod,
                              checkLargeSize,
                              spinLargeWidth,
                              spinLargeHeight,
                              checkSizeAuto,
                              checkFullFrame,
                              checkAlignRgb,
                              checkLargestObject,
                              checkLimb,
                              checkSurface,
                              spinSurfaceRefresh,
                              checkRejectCut,
                              spinMinSize,
                              checkMaxSaturated,
                              spinMaxSaturated,
                              checkRejectDim,
                              spinRejectDim,
                              spinKeepBest,
                              comboKeepBestUnit,
                              checkBestFrame,
                              checkFrames,
                              spinFramesFirst,
                              spinFramesLast,
                              checkJoin,
                              checkTimeRange,
                              timeRangeFirst,
                              timeRangeEnd,
                              checkSegment,
                              spinSegment,
                              btnDark,
                              btnDarkClear,
                              btnFlat,
                              btnFlatClear,
                              btnBias,
                              btnBiasClear,
                              comboHotPixels,
                              editNameTime,
                              editUtcOffset,
                              btnOpenFolder,
                              btnNightReport,
                              checkRecurse,
                              checkJoinAuto,
                              checkForce,
                              comboRotate,
                              comboFlip,
                              checkMeridianFlip,
                              editMeridianFlip,
                              comboLevels,
                              trackFrame,
                              comboFiles,
                              btnAnalyse};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

namespace {

// Every container the program reads, as the dialog and a drop accept them.
const char* const kVideoPatterns[] = {"*.avi", "*.ser", "*.mp4", "*.mov", "*.mkv", "*.m4v", "*.wmv", "*.mpg", "*.mpeg"};

// The settings file names each filter of the dialog by a word of its own,
// so that a filter saved stays found when its list of patterns grows.
const char* const kFilterNames[] = {"avi", "video", "ser", "all"};

QStringList OpenDialogFilters()
{
    return OpenDialogFilter().split(QStringLiteral(";;"));
}

}   // namespace

QString OpenDialogFilter()
{
    QStringList all;
    for (const char* pattern : kVideoPatterns)
        all << QLatin1String(pattern);
    return QStringLiteral("AVI (*.avi);;All video files (%1);;SER (planetary cameras) (*.ser);;All files (*)")
        .arg(all.join(QLatin1Char(' ')));
}

QString OpenDialogFilterNamed(const std::string& name)
{
    const QStringList filters = OpenDialogFilters();
    for (std::size_t i = 0; i < std::size(kFilterNames); ++i)
        if (name == kFilterNames[i])
            return filters.at(qsizetype(i));
    return filters.front();
}

std::string OpenDialogFilterName(const QString& filter)
{
    const qsizetype index = OpenDialogFilters().indexOf(filter);
    return kFilterNames[index < 0 ? 0 : index];
}

bool IsVideoFileName(const QString& path)
{
    for (const char* pattern : kVideoPatterns)
        if (path.endsWith(QLatin1String(pattern + 1), Qt::CaseInsensitive))
            return true;
    return false;
}

QStringList FilesFromArguments(const QStringList& arguments)
{
    QStringList files = arguments.mid(1);
    if (!files.isEmpty() && files.front() == QLatin1String("--"))
        files.removeFirst();
    return files;
}

namespace {

// The given window's edges: the margin right of the right-most control and
// below the lowest one, and the gauge and status bar under them.
constexpr int kRightMargin = 9;
constexpr int kBottomMargin = 2;
constexpr int kBarHeight = 19;
constexpr int kGap = 8;   // between the views and what stands beside them
// The given controls the views go around: the help box, and the log beside
// it at its described place, which is the least it is given.
constexpr int kHelpTop = 405;
constexpr int kHelpRight = 697;
constexpr int kHelpBottom = 550;
constexpr QRect kLogLeast(8, 405, 185, 145);
// Under the whole frame: its slider and the frame's label.
constexpr int kScrubberHeight = 22;
constexpr int kFrameLabelWidth = 190;
// Above the plots: the file list and "Analyse file".
constexpr int kFilesWidth = 220;
constexpr int kAnalyseWidth = 100;
constexpr int kRowHeight = 22;
// The least room the views are given; the window opens larger, with a
// 1366 x 768 screen's room less its title bar and a task bar.
constexpr int kMinViewsWidth = 240;
constexpr int kMinViewHeight = 100;
constexpr QSize kOpenSize(1340, 680);

}   // namespace

namespace {

// The groups of the options column the window was first given: the window
// is never lower than they need. A group added since may lie below the
// room, which the column's scroll bar then reaches.
constexpr qsizetype kGivenOptionGroups = 4;

}   // namespace

int TForm1::placeOptionGroups(int right, int bottom)
{
    int top = kOptionsTop;
    for (QGroupBox* group : optionGroups()) {
        group->move(0, top);
        top += group->height() + kGroupGap;
    }
    optionsPanel->resize(kOptionsWidth, top - kGroupGap + kBottomMargin);
    // The scroll bar takes its room only when the column needs it.
    // Set here rather than left to the area, which would decide only after
    // the window's events, with the views already placed.
    const bool scrolls = optionsPanel->height() > bottom;
    optionsArea->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const int barWidth = scrolls ? optionsArea->verticalScrollBar()->sizeHint().width() : 0;
    const int left = right - kOptionsWidth - barWidth;
    optionsArea->setGeometry(left, 0, kOptionsWidth + barWidth, bottom);
    return left;
}

QList<QGroupBox*> TForm1::optionGroups() const
{
    return {groupMoreOptions, groupColour, groupCentring,    groupReject, groupCalibration,
            groupCaptureTime, groupNight,  groupOrientation, groupLevels};
}

// The views take the room between the preview and the options column: the
// file list and the plots across its top, as large as two side by side fit
// its width (a 1366 x 768 screen gives each about 360 pixels); under them the
// whole frame, right of the help box (or of a preview grown over it), which
// alone may reach down to the gauge and so grows with the window both ways.
void TForm1::arrangeControls()
{
    const int right = width() - kRightMargin;
    const int bottom = height() - 2 * kBarHeight - kBottomMargin;
    const int optionsLeft = placeOptionGroups(right, bottom);

    const QRect preview = Panel1->geometry();
    lblCutWarning->setGeometry(preview.left(), preview.bottom() + 1 + kGap / 2, std::max(preview.width(), 193),
                               lblCutWarning->heightForWidth(std::max(preview.width(), 193)));
    const int viewsRight = optionsLeft - kGap;
    const int viewsLeft = preview.right() + 1 + kGap;
    const int lowerLeft = std::max(kHelpRight + kGap, preview.bottom() >= kHelpTop ? viewsLeft : 0);

    const int filesWidth = std::min(kFilesWidth, viewsRight - viewsLeft - kAnalyseWidth - kGap);
    comboFiles->setGeometry(viewsLeft, kOptionsTop, filesWidth, kRowHeight);
    btnAnalyse->setGeometry(viewsLeft + filesWidth + kGap, kOptionsTop, kAnalyseWidth, kRowHeight);
    const int plotsTop = kOptionsTop + kRowHeight + kGap / 2;
    const int scrubberTop = bottom - kScrubberHeight;
    // The frame, which the user watches, keeps at least half the height.
    const int plotsHeight =
        std::min(PlotPanel::heightSideBySide(viewsRight - viewsLeft), (scrubberTop - kGap - plotsTop) / 2);
    plotPanel->setGeometry(viewsLeft, plotsTop, viewsRight - viewsLeft, plotsHeight);

    const int viewTop = plotsTop + plotsHeight + kGap / 2;
    frameView->setGeometry(lowerLeft, viewTop, viewsRight - lowerLeft, scrubberTop - kGap / 2 - viewTop);
    const int sliderWidth = viewsRight - lowerLeft - kFrameLabelWidth - kGap;
    trackFrame->setGeometry(lowerLeft, scrubberTop, sliderWidth, kScrubberHeight);
    lblFrame->setGeometry(lowerLeft + sliderWidth + kGap, scrubberTop + 4, kFrameLabelWidth, 15);

    // The log grows down to the gauge. Its width can grow only under the help
    // box (and a preview grown over it), which keeps its place: once the
    // window leaves the log its least height there, the log reaches under
    // them to the whole frame, its text starting below them.
    const int underTop = std::max(kHelpBottom, preview.bottom() + 1) + kGap;
    if (bottom - underTop >= kLogLeast.height()) {
        Memo1->setGeometry(kLogLeast.left(), kLogLeast.top(), lowerLeft - kGap - kLogLeast.left(),
                           bottom - kLogLeast.top());
        Memo1->setTextTop(underTop - kLogLeast.top());
    } else {
        Memo1->setGeometry(kLogLeast.left(), kLogLeast.top(), kLogLeast.width(), bottom - kLogLeast.top());
        Memo1->setTextTop(0);
    }
    Gauge1->setGeometry(0, height() - 2 * kBarHeight, width(), kBarHeight);
    StatusBar1->setGeometry(0, height() - kBarHeight, width(), kBarHeight);
}

// The window holds the given controls, the preview at its size, the options
// column and the views at their least; it grows to that when it is smaller
// (a larger preview), and otherwise keeps the size the user gave it.
void TForm1::fitToControls()
{
    const QRect preview = Panel1->geometry();
    const int viewsLeft = preview.right() + 1 + kGap;
    const int lowerLeft = std::max(kHelpRight + kGap, preview.bottom() >= kHelpTop ? viewsLeft : 0);
    const int width = std::max(viewsLeft, lowerLeft) + kMinViewsWidth + kGap + kOptionsWidth + kRightMargin;
    int optionsBottom = kOptionsTop;
    for (QGroupBox* group : optionGroups().mid(0, kGivenOptionGroups))
        optionsBottom += group->height() + kGroupGap;
    const int viewsBottom = kOptionsTop + kRowHeight + 2 * kMinViewHeight + kScrubberHeight + 2 * kGap;
    const int lowest = std::max({kLogLeast.bottom() + 1, optionsBottom, preview.bottom() + 1, viewsBottom});
    const QSize least(width, lowest + kBottomMargin + 2 * kBarHeight);
    setMinimumSize(least);
    if (!m_sized) {
        m_sized = true;
        resize(kOpenSize.expandedTo(least));
    } else if (size() != size().expandedTo(least)) {
        resize(size().expandedTo(least));
    }
    arrangeControls();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrangeControls();
}
