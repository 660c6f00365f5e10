// SPDX-License-Identifier: GPL-3.0-or-later
// A folder opened as a night and processed as one, as orbicrop-cli runs a
// night: the same plan, the same resume file, the same report.
#include "app/unit1.h"

#include "app/version.h"
#include "night/night_report.h"
#include "output/output_for_format.h"
#include "run/night_batch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The output format as the command-line tool names it: part of what the
// resume file compares, so that a night begun in one program is resumed
// by the other.
std::string OutputKind(OutputFormat format, bool winJuposName)
{
    switch (format) {
    case OutputFormat::Avi: return "avi";
    case OutputFormat::Ser: return winJuposName ? "ser-winjupos" : "ser";
    case OutputFormat::Tiff: return "tiff";
    case OutputFormat::Fits: return "fits";
    case OutputFormat::Png: return "png";
    }
    return "avi";
}

}   // namespace

void TForm1::btnOpenFolderClick()
{
    QString start;
    if (m_night)
        start = QFile::decodeName(m_night->folder.c_str());
    else if (!m_files.empty())
        start = QFileInfo(QFile::decodeName(m_files.front().c_str())).absolutePath();
    openFolder(m_services.chooser->chooseFolder(this, QStringLiteral("Open a night's folder"), start));
}

void TForm1::openNight(const QString& folder)
{
    m_night.reset();
    const std::string dir = QFile::encodeName(QFileInfo(folder).absoluteFilePath()).toStdString();
    const NightJoin join = checkJoinAuto->isChecked() ? NightJoin::Auto
        : checkJoin->isChecked()                      ? NightJoin::All
                                                      : NightJoin::None;
    const NightPlan plan = PlanNight({dir}, checkRecurse->isChecked(), join);
    QStringList files;
    for (const std::vector<std::string>& capture : plan.captures)
        for (const std::string& file : capture)
            files << QFile::decodeName(file.c_str());
    if (files.isEmpty()) {
        loadFiles({});
        QStringList notes;
        for (const std::string& note : plan.notes)
            notes << QString::fromStdString(note);
        showMessage(notes.join(QLatin1Char('\n')));
        return;
    }
    m_night = Night{dir, plan.captures};
    loadFiles(files);
    // After the test's own lines, which start the log afresh.
    for (const auto* lines : {&plan.log, &plan.notes})
        for (const std::string& line : *lines)
            Memo1->appendPlainText(QString::fromStdString(line));
}

BatchResult TForm1::runNight(const std::string& outputDir)
{
    std::error_code ec;
    fs::create_directories(outputDir, ec);
    const auto format = OutputFormat(comboFormat->currentIndex());
    const bool winJupos = checkWinJupos->isChecked();
    const OutputMaker makeOutput = [this, format, winJupos] {
        return MakeOutputFor(format, winJupos, "orbicrop " ORBICROP_VERSION, m_aviWriter.get());
    };
    NightChoices choices;
    choices.force = checkForce->isChecked();
    choices.report = true;
    choices.outputKind = OutputKind(format, winJupos);
    // One capture at a time: the window shows each one's frames as it goes.
    const NightRun run = RunNightAction(m_state, m_host, m_night->captures, outputDir, makeOutput, 1, choices);

    // Named after the folder the captures came from, as the tool names it.
    const std::string title = fs::weakly_canonical(m_night->folder, ec).filename().string();
    const std::string report = (fs::path(outputDir) / "night.html").string();
    WriteNightReport(NightFactsOf(run, title), report);
    m_host.appendLog("Night report: " + report, true);
    m_nightReport = QFile::decodeName(report.c_str());
    btnNightReport->setEnabled(true);
    // A night stopped half way is looked at when the user wants it.
    if (!run.batch.stopped && !m_state.stopRequested)
        m_services.pages->open(m_nightReport);
    return run.batch;
}

void TForm1::btnNightReportClick()
{
    if (!m_nightReport.isEmpty())
        m_services.pages->open(m_nightReport);
}
