// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

// Asks the user for input files and for the output folder. The window owns
// one; tests replace it so that no dialog ever blocks them.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Full paths in the order chosen; empty when the user cancels. The
    // dialog shows selectedFilter (one of filter's, separated by ";;")
    // first, and leaves there the one the user chose files with.
    virtual QStringList chooseFiles(QWidget* parent, const QString& filter, const QString& directory,
                                    QString& selectedFilter) = 0;
    // An existing folder's full path, starting in directory, the dialog
    // captioned caption; empty when the user cancels.
    virtual QString chooseFolder(QWidget* parent, const QString& caption, const QString& directory) = 0;
};

// Shows a modal message captioned "Orbicrop". Information is a run's failure
// text as it stands; Error is an error that escaped a reaction.
class MessageSink {
public:
    enum class Kind { Information, Error };
    virtual ~MessageSink() = default;
    virtual void show(QWidget* parent, Kind kind, const QString& text) = 0;
    // A yes/no question, No the default; true for Yes.
    virtual bool ask(QWidget* parent, const QString& question) = 0;
};

// Shows a local file (a night's report) in the desktop's browser. Tests
// replace it so that no browser starts.
class PageOpener {
public:
    virtual ~PageOpener() = default;
    virtual void open(const QString& path) = 0;
};

// What the window needs from outside. Empty members take the real thing:
// the file dialog, message boxes, the desktop's browser, and the settings
// file's usual place.
struct WindowServices {
    std::unique_ptr<FileChooser> chooser;
    std::unique_ptr<MessageSink> messages;
    std::unique_ptr<PageOpener> pages;
    QString settingsPath;
};

std::unique_ptr<FileChooser> MakeDialogFileChooser();
std::unique_ptr<MessageSink> MakeMessageBoxSink();
std::unique_ptr<PageOpener> MakeDesktopPageOpener();

// The text of an error box: the message with a "." appended when its last
// character sorts after "." (a letter or a digit, for example).
QString FormatErrorMessage(const QString& message);
