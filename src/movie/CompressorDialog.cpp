#include "movie/CompressorDialog.h"

#include "movie/AVIRecorder.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace skyglide {

std::string ChooseAVICompressor(QWidget* parent, const std::vector<TAVIEncoderInfo>& encoders)
{
    if (encoders.empty())
        return {};
    QDialog dialog(parent);
    dialog.setObjectName("CompressorDialog");
    dialog.setWindowTitle(QDialog::tr("Video Compression"));
    auto* list = new QListWidget(&dialog);
    for (const TAVIEncoderInfo& encoder : encoders)
        list->addItem(QString::fromStdString(encoder.Description + " (" + encoder.Name + ")"));
    list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const int row = list->currentRow();
    return row >= 0 && row < int(encoders.size()) ? encoders[std::size_t(row)].Name : std::string();
}

void UseStandardAVIDialogs(TAVIRecorder& recorder, QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    recorder.OnAskFileName = [owner]() -> std::string {
        // "Description|pattern" becomes Qt's "Description".
        const QString filter =
            QString::fromLatin1(TAVIRecorder::SaveDialogFilter).section(QLatin1Char('|'), 0, 0);
        QFileDialog dialog(owner.data());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(filter);
        dialog.setDefaultSuffix(QString::fromLatin1(TAVIRecorder::SaveDialogDefaultExt).mid(1));
        // The recorder asks before it replaces a file; asking here too would
        // ask twice.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    };
    recorder.OnConfirmOverwrite = [owner](const std::string& question) {
        return QMessageBox::question(owner.data(), QMessageBox::tr("Confirm"),
                                     QString::fromLocal8Bit(question.c_str()),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    recorder.OnChooseCompressor = [owner](const std::vector<TAVIEncoderInfo>& encoders) {
        return ChooseAVICompressor(owner.data(), encoders);
    };
}

} // namespace skyglide
