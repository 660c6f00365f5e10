// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/unit1.h"
#include "app/window_services.h"
#include "support/disc_video.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// A chooser that answers the open dialog with the files a test put in it,
// and the folder dialog with its folder (empty: cancelled). It keeps the
// filter each open dialog showed first, and answers with the filter in
// filterChosen when there is one.
class ScriptedChooser : public FileChooser {
public:
    explicit ScriptedChooser(std::shared_ptr<QStringList> answer,
                             std::shared_ptr<QString> folder = std::make_shared<QString>(),
                             std::shared_ptr<QStringList> filtersShown = std::make_shared<QStringList>(),
                             std::shared_ptr<QString> filterChosen = std::make_shared<QString>())
        : m_answer(std::move(answer)), m_folder(std::move(folder)), m_filtersShown(std::move(filtersShown)),
          m_filterChosen(std::move(filterChosen))
    {}
    QStringList chooseFiles(QWidget*, const QString&, const QString&, QString& selectedFilter) override
    {
        m_filtersShown->push_back(selectedFilter);
        if (!m_filterChosen->isEmpty())
            selectedFilter = *m_filterChosen;
        return *m_answer;
    }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return *m_folder; }

private:
    std::shared_ptr<QStringList> m_answer;
    std::shared_ptr<QString> m_folder;
    std::shared_ptr<QStringList> m_filtersShown;
    std::shared_ptr<QString> m_filterChosen;
};

struct ShownMessage {
    MessageSink::Kind kind;
    QString text;
};

// Keeps every message instead of showing a modal box; outlives the window.
// whileShown, when set, runs as a modal box's own event loop would. A
// question is kept in asked and answered with answer.
class RecordingSink : public MessageSink {
public:
    RecordingSink(std::shared_ptr<std::vector<ShownMessage>> shown, std::shared_ptr<std::function<void()>> whileShown,
                  std::shared_ptr<QStringList> asked, std::shared_ptr<bool> answer)
        : m_shown(std::move(shown)), m_whileShown(std::move(whileShown)), m_asked(std::move(asked)),
          m_answer(std::move(answer))
    {}
    void show(QWidget*, Kind kind, const QString& text) override
    {
        m_shown->push_back({kind, text});
        if (*m_whileShown)
            (*m_whileShown)();
    }
    bool ask(QWidget*, const QString& question) override
    {
        m_asked->push_back(question);
        if (*m_whileShown)
            (*m_whileShown)();
        return *m_answer;
    }

private:
    std::shared_ptr<std::vector<ShownMessage>> m_shown;
    std::shared_ptr<std::function<void()>> m_whileShown;
    std::shared_ptr<QStringList> m_asked;
    std::shared_ptr<bool> m_answer;
};

// Keeps the pages the window would show in the browser.
class RecordingPageOpener : public PageOpener {
public:
    explicit RecordingPageOpener(std::shared_ptr<QStringList> opened) : m_opened(std::move(opened)) {}
    void open(const QString& path) override { m_opened->push_back(path); }

private:
    std::shared_ptr<QStringList> m_opened;
};

// The real window with a scripted open dialog, recorded message boxes and a
// settings file in a scratch folder.
struct WindowFixture {
    QTemporaryDir dir;
    std::shared_ptr<QStringList> answer = std::make_shared<QStringList>();   // of the open dialog
    std::shared_ptr<QString> folderAnswer = std::make_shared<QString>();     // of the folder dialog
    std::shared_ptr<QStringList> filtersShown = std::make_shared<QStringList>();
    std::shared_ptr<QString> filterChosen = std::make_shared<QString>();
    std::shared_ptr<std::vector<ShownMessage>> shown = std::make_shared<std::vector<ShownMessage>>();
    std::shared_ptr<std::function<void()>> whileShown = std::make_shared<std::function<void()>>();
    std::shared_ptr<QStringList> asked = std::make_shared<QStringList>();
    std::shared_ptr<bool> answerToQuestions = std::make_shared<bool>(false);
    std::shared_ptr<QStringList> pagesOpened = std::make_shared<QStringList>();   // in the browser
    std::unique_ptr<TForm1> form;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString settingsPath() const { return path(QStringLiteral("Orbicrop.ini")); }

    void writeSettings(const QByteArray& content) const
    {
        QFile file(settingsPath());
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }
    QByteArray readSettings() const
    {
        QFile file(settingsPath());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    TForm1& create(const QString& settings = QString())
    {
        WindowServices services;
        services.chooser = std::make_unique<ScriptedChooser>(answer, folderAnswer, filtersShown, filterChosen);
        services.messages = std::make_unique<RecordingSink>(shown, whileShown, asked, answerToQuestions);
        services.pages = std::make_unique<RecordingPageOpener>(pagesOpened);
        services.settingsPath = settings.isEmpty() ? settingsPath() : settings;
        form = std::make_unique<TForm1>(std::move(services));
        return *form;
    }

    // The window with a 4 x 4 output, so that batch runs write little.
    TForm1& createSmall()
    {
        TForm1& w = create();
        w.trackWidth->setValue(4);
        w.trackHeight->setValue(4);
        return w;
    }

    // A file of the given bytes (a broken video, an older output, a note).
    QString writeFile(const QString& name, const QByteArray& content = {}) const
    {
        const QString file = path(name);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            return {};
        return file;
    }

    // A clip of a bright disc on a dark sky, written with our own writer as
    // uncompressed RGB24, which the decoder reads back losslessly.
    QString writeClip(const QString& name, const DiscClip& clip, int frames = 6) const
    {
        const QString file = path(name);
        clip.write(QFile::encodeName(file).toStdString(), frames);
        return file;
    }

    // Waits until no automatic test is pending (loading the settings starts
    // the debounce timer, as any slider change does).
    bool settle() const
    {
        return QTest::qWaitFor([this] { return !form->timerTest->isActive(); }, 1000);
    }

    // Opens files through the Open button and the scripted dialog.
    void open(const QStringList& files)
    {
        *answer = files;
        form->btnOpen->click();
    }
};

// A 640 x 480 clip with a disc of radius 40 in the middle, moving slowly.
inline DiscClip LargeClip()
{
    DiscClip clip;
    clip.width = 640;
    clip.height = 480;
    clip.radius = 40;
    clip.blue = 60;
    clip.green = 180;
    clip.red = 230;
    clip.path = [](std::int32_t frame, double& cx, double& cy) {
        cx = 319.5 + 4 * frame;
        cy = 239.5;
    };
    return clip;
}

// Drags urls over the window and, when it takes them, drops them there, as
// a file manager does; whether the window took them.
inline bool DragAndDrop(QWidget& window, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    return true;
}
