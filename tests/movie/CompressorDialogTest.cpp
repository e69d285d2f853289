#include "movie/CompressorDialog.h"

#include "movie/AVIRecorder.h"

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace skyglide;

namespace {

// Runs `answer` on the dialog that the next modal call opens.
void whenDialogOpens(std::function<void(QWidget*)> answer)
{
    QTimer::singleShot(0, [answer] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        answer(dialog);
    });
}

void press(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    auto* box = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    box->button(which)->click();
}

const std::vector<TAVIEncoderInfo> kEncoders{
    {"rawvideo", "Uncompressed 24-bit RGB"}, {"mpeg4", "MPEG-4 part 2"}, {"msvideo1", "Video-1"}};

} // namespace

TEST(CompressorDialog, ReturnsTheChosenEncoder)
{
    struct Row { const char* name; int row; bool accept; const char* expected; };
    for (const Row& r : {Row{"default is uncompressed", -1, true, "rawvideo"},
                         Row{"third row", 2, true, "msvideo1"},
                         Row{"cancelled", 1, false, ""}}) {
        SCOPED_TRACE(r.name);
        whenDialogOpens([r](QWidget* dialog) {
            auto* list = dialog->findChild<QListWidget*>();
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(list->count(), 3);
            if (r.row >= 0)
                list->setCurrentRow(r.row);
            press(dialog, r.accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel);
        });
        EXPECT_EQ(ChooseAVICompressor(nullptr, kEncoders), r.expected);
    }
    EXPECT_EQ(ChooseAVICompressor(nullptr, {}), "");
}

TEST(CompressorDialog, StandardOverwriteQuestion)
{
    TAVIRecorder recorder;
    UseStandardAVIDialogs(recorder, nullptr);
    for (bool yes : {true, false}) {
        whenDialogOpens([yes](QWidget* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "Overwrite file /tmp/a.avi?");
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(recorder.OnConfirmOverwrite("Overwrite file /tmp/a.avi?"), yes);
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
