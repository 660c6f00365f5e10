// SPDX-License-Identifier: GPL-3.0-or-later
// Construction of the window's controls: places, sizes, texts, hints, fonts
// and keyboard order. Places are in pixels at 96 dots per inch; a control in
// a group is placed relative to the group's top-left corner.
#include "app/unit1.h"

#include "app/gauge.h"
#include "app/status_bar.h"
#include "settings/orbicrop_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace {

constexpr int kFontPixels = 11;   // 8 points at 96 dots per inch
constexpr int kTestDelayMs = 50;

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
    const QFont narrow = NarrowFont();

    btnOpen = Make<QPushButton>(this, 8, 0, 185, 41);
    btnOpen->setText(QStringLiteral("1) Open AVI File(s)"));
    btnOpen->setFont(BoldFont());

    GroupBox2 = Make<QGroupBox>(this, 8, 48, 185, 105);
    GroupBox2->setTitle(QStringLiteral("2) Planet Detection Threshold"));
    trackCOG = MakeSlider(GroupBox2, 8, 24, 137, 22, kThresholdMin, kThresholdMax, 5, 10);
    trackCOG->setToolTip(
        QStringLiteral("Threshold to separate planet from space. Absolute values relative to histogram peak."));
    lblCog = MakeLabel(GroupBox2, 152, 28, QStringLiteral("5"));
    checkPreview = Make<QCheckBox>(GroupBox2, 24, 54, 73, 17);
    checkPreview->setText(QStringLiteral("Show Effect"));
    checkPreview->setToolTip(QStringLiteral("Show threshold effect"));
    checkPreview->setFont(narrow);
    checkInverse = Make<QCheckBox>(GroupBox2, 24, 70, 145, 17);
    checkInverse->setText(QStringLiteral("Invert, center on dark pixels"));
    checkInverse->setToolTip(QStringLiteral("Center on dark spots instead of bright ones (e.g. sunspots)"));
    checkInverse->setFont(narrow);

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

    btnProcess = Make<QPushButton>(this, 8, 344, 185, 41);
    btnProcess->setText(QStringLiteral("5) Process AVI(s)"));
    btnProcess->setToolTip(QStringLiteral("Process all the selected AVI's according to the current settings"));
    btnProcess->setFont(BoldFont());
    btnProcess->setEnabled(false);

    Label6 = MakeLabel(this, 16, 389, QStringLiteral("Log"));
    Memo1 = Make<QPlainTextEdit>(this, 8, 405, 185, 145);
    Memo1->setFont(FixedFont());
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

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

    // Right of where the largest preview (641 x 641 from 200, 5) can reach,
    // so that no preview ever covers it; below its two controls there is
    // room for more options.
    groupMoreOptions = Make<QGroupBox>(this, 848, 405, 161, 145);
    groupMoreOptions->setTitle(QStringLiteral("6) More options"));
    captionFormat = MakeLabel(groupMoreOptions, 8, 28, QStringLiteral("Format"));
    captionFormat->setFont(narrow);
    comboFormat = Make<QComboBox>(groupMoreOptions, 56, 24, 65, 22);
    comboFormat->addItem(QStringLiteral("AVI"));
    comboFormat->addItem(QStringLiteral("SER"));
    comboFormat->setToolTip(QStringLiteral(
        "SER keeps a SER capture's own samples (12 and 16 bits), its Bayer pattern, header and frame times"));
    checkWinJupos = Make<QCheckBox>(groupMoreOptions, 8, 52, 145, 17);
    checkWinJupos->setText(QStringLiteral("WinJUPOS time in the name"));
    checkWinJupos->setToolTip(QStringLiteral(
        "Name each SER output after the mid-time of its frames (YYYY-MM-DD-HHMM_T-), when their times are known"));
    checkWinJupos->setFont(narrow);
    checkWinJupos->setEnabled(false);

    // In the same column as "6) More options", right above it: no preview
    // reaches past x = 841 at any output size, nothing given moves, and the
    // window keeps the height the given controls set.
    groupCentring = Make<QGroupBox>(this, 848, 253, 185, 145);
    groupCentring->setTitle(QStringLiteral("7) Centring"));
    checkLargestObject = Make<QCheckBox>(groupCentring, 8, 18, 170, 17);
    checkLargestObject->setText(QStringLiteral("Largest object only"));
    checkLargestObject->setToolTip(
        QStringLiteral("Centre on the largest bright object; moons and stars beside it are ignored"));
    checkLargestObject->setFont(narrow);
    checkSurface = Make<QCheckBox>(groupCentring, 8, 36, 170, 17);
    checkSurface->setText(QStringLiteral("Surface (align by content)"));
    checkSurface->setToolTip(
        QStringLiteral("Moon, Sun and close-ups that fill the frame: frames are aligned on their detail"));
    checkSurface->setFont(narrow);
    captionSurfaceRefresh = MakeLabel(groupCentring, 24, 58, QStringLiteral("Reference every"));
    captionSurfaceRefresh->setFont(narrow);
    spinSurfaceRefresh = Make<QSpinBox>(groupCentring, 110, 54, 67, 20);
    spinSurfaceRefresh->setRange(1, 10000);
    spinSurfaceRefresh->setValue(kSurfaceRefreshDefault);
    spinSurfaceRefresh->setToolTip(QStringLiteral("Frames between two reference frames in surface mode"));
    captionKeepBest = MakeLabel(groupCentring, 8, 82, QStringLiteral("Keep best"));
    captionKeepBest->setFont(narrow);
    spinKeepBest = Make<QSpinBox>(groupCentring, 60, 78, 60, 20);
    spinKeepBest->setRange(0, 100);
    spinKeepBest->setSpecialValueText(QStringLiteral("all"));
    spinKeepBest->setToolTip(QStringLiteral("Write only the sharpest frames of each file, in their order"));
    comboKeepBestUnit = Make<QComboBox>(groupCentring, 124, 78, 53, 20);
    comboKeepBestUnit->addItem(QStringLiteral("%"));
    comboKeepBestUnit->addItem(QStringLiteral("frames"));
    comboKeepBestUnit->setFont(narrow);
    checkBestFrame = Make<QCheckBox>(groupCentring, 8, 104, 170, 17);
    checkBestFrame->setText(QStringLiteral("Save best frame (PNG)"));
    checkBestFrame->setToolTip(
        QStringLiteral("Save the sharpest crop of each file beside its output as NAME_best.png"));
    checkBestFrame->setFont(narrow);

    // Made after the help box so that a large preview covers the help, not
    // the help the preview.
    Panel1 = Make<QLabel>(this, 200, 5, 200, 200);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setAutoFillBackground(true);
    Image = Make<QLabel>(Panel1, 0, 0, 200, 200);
    Image->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Gauge1 = new TGauge(this);
    StatusBar1 = new StatusBar(this);

    checkIgnoreIncomplete = new QCheckBox(QStringLiteral("Remove incomplete frames"), this);
    checkIgnoreIncomplete->hide();
    checkAutocolor = new QCheckBox(QStringLiteral("Autodetect"), this);
    checkAutocolor->setChecked(true);
    checkAutocolor->hide();

    timerTest = new QTimer(this);
    timerTest->setInterval(kTestDelayMs);

    setTabOrder();
    btnOpen->setFocus();
}

void TForm1::setTabOrder()
{
    QWidget* const order[] = {btnOpen,      btnProcess,         trackWidth,    trackHeight,
                              trackCOG,     checkPreview,       checkInverse,  checkColor,
                              checkY800,    checkDebayerSafe,   comboFormat,   checkWinJupos,
                              Memo1,        checkLargestObject, checkSurface,  spinSurfaceRefresh,
                              spinKeepBest, comboKeepBestUnit,  checkBestFrame};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

namespace {

// Every container the program reads, as the dialog and a drop accept them.
const char* const kVideoPatterns[] = {"*.avi", "*.ser", "*.mp4", "*.mov", "*.mkv", "*.m4v", "*.wmv", "*.mpg", "*.mpeg"};

}   // namespace

QString OpenDialogFilter()
{
    QStringList all;
    for (const char* pattern : kVideoPatterns)
        all << QLatin1String(pattern);
    return QStringLiteral("AVI (*.avi);;All video files (%1);;SER (planetary cameras) (*.ser);;All files (*)")
        .arg(all.join(QLatin1Char(' ')));
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
