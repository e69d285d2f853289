#include "movie/CompressorDialog.h"

#include "movie/AVIEncoders.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace skyglide;

// The chooser starts on its first entry (uncompressed) and answers the
// selected encoder's name, or nothing when cancelled.
TEST(CompressorDialog, ReturnsTheChosenEncoder)
{
    const std::vector<TAVIEncoderInfo> encoders{
        {"rawvideo", "Uncompressed 24-bit RGB"}, {"mpeg4", "MPEG-4"}, {"msvideo1", "Video-1"}};
    for (const auto& [row, accept, expected] :
         {std::tuple{-1, true, "rawvideo"}, {2, true, "msvideo1"}, {1, false, ""}}) {
        QTimer::singleShot(0, [row = row, accept = accept] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            auto* list = dialog->findChild<QListWidget*>();
            EXPECT_EQ(list->count(), 3);
            if (row >= 0)
                list->setCurrentRow(row);
            dialog->findChild<QDialogButtonBox*>()
                ->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                ->click();
        });
        EXPECT_EQ(ChooseAVICompressor(nullptr, encoders), expected) << row;
    }
    EXPECT_EQ(ChooseAVICompressor(nullptr, {}), "");
}
