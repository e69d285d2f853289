#include "app/RenderMovieDialog.h"

#include "app/MovieFrameRenderer.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>

namespace skyglide {

namespace {

struct TFormatItem
{
    TMovieFormat Format;
    const char* Caption;
    const char* Extension; // for the save dialog; empty: a folder
    const char* Filter;
};

constexpr TFormatItem FormatItems[] = {
    {TMovieFormat::mfMP4, "MP4, H.264", "mp4", "MP4 Movie File (*.mp4)"},
    {TMovieFormat::mfAVIMSVC, "AVI, Video-1", "avi", "AVI Movie File (*.avi)"},
    {TMovieFormat::mfAVIDivX, "AVI, MPEG-4 (DivX)", "avi", "AVI Movie File (*.avi)"},
    {TMovieFormat::mfAVIRaw, "AVI, uncompressed", "avi", "AVI Movie File (*.avi)"},
    {TMovieFormat::mfPNG, "PNG pictures in a new folder", "", "Folder (*)"},
};

constexpr std::pair<TPathSmoothing, const char*> SmoothingItems[] = {
    {TPathSmoothing::smNone, "None: one frame per recorded pose"},
    {TPathSmoothing::smSpline, "Spline: a smooth curve, as long as the path plays"},
    {TPathSmoothing::smConstantSpeed, "Constant speed: the smooth curve at an even speed"},
};

QSpinBox* SpinBox(QWidget* parent, int minimum, int maximum, int value, const QString& suffix)
{
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

TRenderMovieDialog::TRenderMovieDialog(const TRenderMovieChoice& choice,
                                       TFileDialogSettings& browse, QWidget* parent)
    : QDialog(parent), m_browse(browse)
{
    setObjectName(QStringLiteral("RenderMovieDialog"));
    setWindowTitle(QStringLiteral("Render Movie"));
    using S = TMovieSettings;
    const S& settings = choice.Settings;

    m_file = new QLineEdit(QString::fromStdString(settings.FileName), this);
    m_file->setObjectName(QStringLiteral("File"));
    auto* browseButton = new QPushButton(QStringLiteral("Browse..."), this);
    browseButton->setObjectName(QStringLiteral("Browse"));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browseButton);

    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("Format"));
    for (const TFormatItem& item : FormatItems) {
        m_format->addItem(QString::fromLatin1(item.Caption), int(item.Format));
        if (item.Format == settings.Format)
            m_format->setCurrentIndex(m_format->count() - 1);
    }

    m_width = SpinBox(this, S::MinSize, S::MaxWidth, settings.Width, QString());
    m_width->setObjectName(QStringLiteral("Width"));
    m_height = SpinBox(this, S::MinSize, S::MaxHeight, settings.Height, QString());
    m_height->setObjectName(QStringLiteral("Height"));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(m_width);
    sizeRow->addWidget(new QLabel(QStringLiteral("x"), this));
    sizeRow->addWidget(m_height);
    sizeRow->addStretch(1);

    m_fps = SpinBox(this, S::MinFPS, S::MaxFPS, settings.FPS, QStringLiteral(" frames/s"));
    m_fps->setObjectName(QStringLiteral("FrameRate"));
    m_quality = SpinBox(this, 0, S::MaxQuality, settings.Quality, QString());
    m_quality->setObjectName(QStringLiteral("Quality"));
    m_quality->setToolTip(QStringLiteral("H.264's constant rate factor: 0 is lossless, 18 looks "
                                         "like the frames, each 6 more halves the file"));

    m_smoothing = new QComboBox(this);
    m_smoothing->setObjectName(QStringLiteral("Smoothing"));
    for (const auto& [smoothing, caption] : SmoothingItems) {
        m_smoothing->addItem(QString::fromLatin1(caption), int(smoothing));
        if (smoothing == choice.Smoothing)
            m_smoothing->setCurrentIndex(m_smoothing->count() - 1);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("Render"));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Movie file:"), fileRow);
    form->addRow(QStringLiteral("Format:"), m_format);
    form->addRow(QStringLiteral("Frame size:"), sizeRow);
    form->addRow(QStringLiteral("Frame rate:"), m_fps);
    form->addRow(QStringLiteral("Quality (MP4):"), m_quality);
    form->addRow(QStringLiteral("Smoothing:"), m_smoothing);
    form->addRow(buttons);

    const auto fileTyped = [this, ok] { ok->setEnabled(!m_file->text().trimmed().isEmpty()); };
    fileTyped();
    connect(m_file, &QLineEdit::textChanged, this, fileTyped);
    connect(browseButton, &QPushButton::clicked, this, &TRenderMovieDialog::browse);
    connect(m_format, &QComboBox::currentIndexChanged, this, &TRenderMovieDialog::formatChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    formatChanged();
}

TRenderMovieChoice TRenderMovieDialog::Choice() const
{
    TRenderMovieChoice choice;
    TMovieSettings& settings = choice.Settings;
    settings.FileName = m_file->text().trimmed().toStdString();
    settings.Format = TMovieFormat(m_format->currentData().toInt());
    settings.Width = m_width->value();
    settings.Height = m_height->value();
    settings.FPS = m_fps->value();
    settings.Quality = m_quality->value();
    choice.Smoothing = TPathSmoothing(m_smoothing->currentData().toInt());
    return choice;
}

void TRenderMovieDialog::formatChanged()
{
    const TFormatItem& item = FormatItems[std::size_t(m_format->currentIndex())];
    m_quality->setEnabled(item.Format == TMovieFormat::mfMP4);
    m_browse.DefaultExt = QString::fromLatin1(item.Extension);
    m_browse.Filter = QString::fromLatin1(item.Filter);
}

void TRenderMovieDialog::browse()
{
    QPointer<TRenderMovieDialog> self(this);
    m_browse.FileName = m_file->text().trimmed();
    if (UserDialogs().ExecuteSaveDialog(m_browse, this) && self)
        m_file->setText(m_browse.FileName);
}

TMovieRenderResult RenderPathMovie(QWidget* parent, const TMovieScene& scene,
                                   std::vector<TPose> poses, const TRenderMovieChoice& choice,
                                   const std::function<bool()>& abandoned)
{
    std::string note;
    const TMovieSettings settings = CheckMovieSettings(choice.Settings, &note);
    TMovieFrameRenderer frames(
        scene, TPathResampler(std::move(poses), choice.Smoothing, settings.FPS), settings.Width,
        settings.Height);

    QProgressDialog progress(parent);
    progress.setObjectName(QStringLiteral("RenderMovieProgress"));
    progress.setWindowTitle(QStringLiteral("Render Movie"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setRange(0, frames.FrameCount());
    const QString heading = QStringLiteral("Rendering %1").arg(QString::fromStdString(settings.FileName)) +
                            (note.empty() ? QString() : QStringLiteral("\n(%1)").arg(QString::fromStdString(note)));
    progress.setLabelText(heading);
    progress.setValue(0);

    TMovieRender render;
    render.OnProgress = [&](const TMovieProgress& done) {
        progress.setLabelText(heading + QLatin1Char('\n') +
                              QString::fromStdString(MovieProgressText(done)));
        // A modal progress dialog lets the window's events through here.
        progress.setValue(done.FramesDone);
    };
    render.OnQueryCancel = [&] { return progress.wasCanceled() || (abandoned && abandoned()); };
    return render.Render(frames, settings);
}

} // namespace skyglide
