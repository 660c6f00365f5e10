// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

constexpr const char* kApplicationTitle = "Orbicrop";

class DialogFileChooser : public FileChooser {
public:
    QStringList chooseFiles(QWidget* parent, const QString& filter, const QString& directory,
                            QString& selectedFilter) override
    {
        return QFileDialog::getOpenFileNames(parent, QStringLiteral("Open"), directory, filter, &selectedFilter);
    }
    QString chooseFolder(QWidget* parent, const QString& caption, const QString& directory) override
    {
        return QFileDialog::getExistingDirectory(parent, caption, directory);
    }
};

class MessageBoxSink : public MessageSink {
public:
    void show(QWidget* parent, Kind kind, const QString& text) override
    {
        QMessageBox box(kind == Kind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, parent);
        box.exec();
    }

    bool ask(QWidget* parent, const QString& question) override
    {
        QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle), question,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
};

class DesktopPageOpener : public PageOpener {
public:
    void open(const QString& path) override { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }
};

}   // namespace

std::unique_ptr<PageOpener> MakeDesktopPageOpener()
{
    return std::make_unique<DesktopPageOpener>();
}

std::unique_ptr<FileChooser> MakeDialogFileChooser()
{
    return std::make_unique<DialogFileChooser>();
}
std::unique_ptr<MessageSink> MakeMessageBoxSink()
{
    return std::make_unique<MessageBoxSink>();
}

QString FormatErrorMessage(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}
