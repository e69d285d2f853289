#pragma once

#include <string>
#include <vector>

class QWidget;

namespace skyglide {

class TAVIRecorder;
struct TAVIEncoderInfo;

/// A modal list of `encoders` (AVIEncodersPresent()) with the first one
/// selected. Returns the chosen encoder's Name, or an empty text when the
/// dialog is cancelled or the list is empty.
std::string ChooseAVICompressor(QWidget* parent, const std::vector<TAVIEncoderInfo>& encoders);

/// Sets the recorder's dialog hooks to Qt dialogs owned by `parent` (which
/// may go away first; the dialogs are then shown without a parent):
/// OnAskFileName a save dialog with the recorder's default extension and
/// filter, OnConfirmOverwrite a Yes/No question, OnChooseCompressor
/// ChooseAVICompressor().
void UseStandardAVIDialogs(TAVIRecorder& recorder, QWidget* parent);

} // namespace skyglide
