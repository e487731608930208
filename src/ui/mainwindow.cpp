#include "ui/mainwindow.h"

#include "core/imfile/archive.h"
#include "core/imfile/filetypes.h"
#include "core/imfile/summary.h"
#include "core/model/acquisition.h"
#include "core/progress.h"
#include "core/render/zoom.h"
#include "core/result.h"
#include "ui/analysiscommands.h"
#include "ui/analysissession.h"
#include "ui/dialogs.h"
#include "ui/historywindow.h"
#include "ui/imagewindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/studywindow.h"
#include "ui/systemfont.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QUrl>

namespace isolumen {

namespace {

// Where the parts of the window sit, top to bottom: the file's name, the species buttons in two
// rows of four with the menu of further species beside them, the layer controls, a separator,
// the details toggle with the picture's size, and the details area that it opens, a caption and
// a field a row.
namespace place {
constexpr int contentWidth = 316;
constexpr int collapsedHeight = 186;
constexpr int expandedHeight = 700;
constexpr QRect fileCaption(20, 14, 30, 20);
constexpr QRect fileName(62, 14, 234, 20);
constexpr QRect firstSpeciesButton(20, 46, 60, 22);
constexpr int speciesButtonsPerRow = 4;
constexpr int speciesColumnStep = 72;
constexpr int speciesRowStep = 34;
constexpr QRect moreSpecies(298, 46, 16, 56);
constexpr QRect layerCaption(20, 114, 38, 20);
constexpr QRect sumLine(20, 114, 172, 20); // in the layer controls' place while layers are summed
constexpr QRect layerPopUp(70, 114, 61, 19);
constexpr QRect layerOf(143, 114, 49, 19);
constexpr QRect layerMinus(204, 114, 40, 20);
constexpr QRect layerPlus(256, 114, 40, 20);
constexpr QRect separator(20, 146, 276, 4);
constexpr QRect detailsToggle(20, 162, 12, 12);
constexpr QRect detailsCaption(44, 159, 60, 20);
constexpr QRect pixelSize(124, 159, 100, 20);
constexpr QRect micronSize(236, 159, 60, 20);
// The details' rows: a caption and a field at each top, 20 apart from 186; the species' rows
// from 526.
constexpr int detailTop = 186;
constexpr int detailStep = 20;
constexpr int speciesRowsTop = 526;
constexpr QRect detailCaption(20, 0, 110, 12);
constexpr QRect detailField(152, 0, 144, 12);
// Below the top of the screen's free area, as far as the menu bar's height.
constexpr int belowScreenTop = 24;
} // namespace place

constexpr int kButtonSpecies = ImHeader::kButtonSpecies;

const QString noFileText = QStringLiteral("(open file or drag file here)");
const QString notImageText = QStringLiteral("(not an image file)");

// Labels show what the file says as plain text: a name with "<" in it is not markup.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, const QRect& rect,
                  int points, Qt::Alignment horizontal = Qt::AlignLeft)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setFont(systemFont(points));
    label->setAlignment(horizontal | Qt::AlignVCenter);
    label->setGeometry(rect);
    return label;
}

QPushButton* makePushButton(QWidget* parent, const char* name, const QString& text,
                            const QRect& rect)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(systemFont(12));
    button->setGeometry(rect);
    return button;
}

// The captions of the details area, a row each.
const char* const detailCaptions[] = {
    "Original Name:",    "Date, Time:",        "File Size:",      "Header Size:",    "X Position:",
    "Y Position:",       "Duration (total):",  "Duration/Layer:", "Duration/Pixel:", "User Name:",
    "Image Type:",       "Pixel Width:",       "Pixel Height:",   "Pixel Depth:",    "Image Size:",
    "Number of Planes:", "Number of Species:",
};

QRect detailCaptionRect(int top)
{
    return place::detailCaption.translated(0, top);
}
QRect detailFieldRect(int top)
{
    return place::detailField.translated(0, top);
}

QString windowKey(const PlaneSource& source, bool hsi)
{
    if (source.ratio) {
        const auto number = [](int s) { return QString::number(s); };
        return QStringLiteral("%1:%2").arg(hsi ? QStringLiteral("hsi") : QStringLiteral("ratio"),
                                           ratioTermsLabel(*source.ratio, number));
    }
    return QStringLiteral("species:%1").arg(source.species);
}

// A "&" in a name is shown, not taken for a keyboard mnemonic.
QString shownAsIs(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

MainWindow::MainWindow(Acquisition& acquisition)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      m_acquisition(acquisition)
{
    setAttribute(Qt::WA_DeleteOnClose);
    Menu::instance().attachTo(menuBar());
    setWindowTitle(QStringLiteral("Isolumen"));
    layOut();
    addMenuHandler(QStringLiteral("fileOpen"), [this] { chooseFile(); });
    addMenuHandler(QStringLiteral("fileAppend"), [this] { chooseAppendedFile(); });
    m_analysis = std::make_unique<AnalysisCommands>(
        m_acquisition, m_windows, this, [this] { return m_layerPopUp->currentIndex() + 1; },
        [this](const PlaneSource& source, std::optional<HsiBrightness> hsi) {
            return openImageWindow(source, hsi);
        },
        [this](const OverlayDefinition& overlay) { return openOverlayWindow(overlay); });
    connect(&m_acquisition, &Acquisition::fileChanged, this, &MainWindow::showAcquisition);
    connect(&m_acquisition, &Acquisition::layersChanged, this, &MainWindow::showLayers);
    m_session = std::make_unique<AnalysisSession>(
        m_acquisition, m_windows, this, [this](const QString& path) { openImage(path); },
        [this](const PlaneSource& source) { return openImageWindow(source); },
        [this](const OverlayDefinition& overlay) { return openOverlayWindow(overlay); });
    m_study = std::make_unique<StudyCommands>(m_acquisition, *m_session, this);

    setWindowTitle(QStringLiteral("Isolumen  " ISOLUMEN_VERSION));
    setAcceptDrops(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        placeOn(screen->availableGeometry());
    HistoryWindow::setAnchor(this);
    m_tileCommand = Menu::instance().setCommand(QStringLiteral("windowTile"),
                                                [this] { tileWindows(m_places.available()); });
    for (QMenu* menu : Menu::instance().menus()) {
        if (menu->objectName() == QLatin1String("windowMenu"))
            connect(menu, &QMenu::aboutToShow, this, &MainWindow::listWindows);
    }
}

MainWindow::~MainWindow()
{
    qDeleteAll(m_windowItems);
}

void MainWindow::setStudyRunner(StudyRunner runner)
{
    m_study->setRunner(std::move(runner));
}

void MainWindow::tileWindows(const QRect& available)
{
    const QList<ImageWindow*> windows = m_windows.windows();
    QList<int> steps;
    for (const ImageWindow* w : windows)
        steps << w->zoomStep();
    const int left = frameGeometry().right() + 1;
    // Each try zooms every window down a step more and measures the frames it really gets.
    for (int down = 0;; ++down) {
        QList<QSize> frames;
        bool smallest = true;
        for (int i = 0; i < windows.size(); ++i) {
            const int step = std::max(ZoomMap::kMinStep, steps[i] - down);
            smallest = smallest && step == ZoomMap::kMinStep;
            windows[i]->showAt(step);
            frames << windows[i]->frameGeometry().size();
        }
        const WindowPlaces::Tiling t = WindowPlaces::tile(available, left, frames);
        if (!t.fits && !smallest)
            continue;
        for (int i = 0; i < windows.size(); ++i)
            windows[i]->move(t.places[i]);
        return;
    }
}

void MainWindow::listWindows()
{
    qDeleteAll(m_windowItems);
    m_windowItems.clear();
    auto* menu = qobject_cast<QMenu*>(sender());
    if (!menu)
        return;
    const QList<ImageWindow*> windows = m_windows.windows();
    if (!windows.isEmpty())
        m_windowItems << menu->addSeparator();
    for (ImageWindow* w : windows) {
        QAction* item = menu->addAction(w->windowTitle());
        connect(item, &QAction::triggered, w, [w] {
            w->raise();
            w->activateWindow();
        });
        m_windowItems << item;
    }
}

void MainWindow::layOut()
{
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setFixedSize(place::contentWidth, place::collapsedHeight);
    setCentralWidget(m_content);
    // The window follows its content and cannot be resized by the user.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    QWidget* c = m_content;
    makeLabel(c, QStringLiteral("fileCaption"), QStringLiteral("File:"), place::fileCaption, 12);
    m_fileName = makeLabel(c, QStringLiteral("fileName"), noFileText, place::fileName, 12);
    layOutSpeciesButtons();
    layOutLayerControls();
    layOutDetails();
    layout()->activate();
}

void MainWindow::layOutSpeciesButtons()
{
    for (int i = 0; i < kButtonSpecies; ++i) {
        auto* button = new QPushButton(QStringLiteral("Sp%1").arg(i + 1), m_content);
        button->setObjectName(QStringLiteral("speciesButton%1").arg(i));
        button->setCheckable(true);
        button->setFont(systemFont(12));
        button->setGeometry(place::firstSpeciesButton.translated(
            place::speciesColumnStep * (i % place::speciesButtonsPerRow),
            place::speciesRowStep * (i / place::speciesButtonsPerRow)));
        button->hide();
        // clicked, not toggled: releasing a button in code must not run the handler.
        connect(button, &QPushButton::clicked, this,
                [this, i](bool down) { toggleSpecies(i, down); });
        m_speciesButtons[i] = button;
    }
    // Species beyond the buttons', in a menu beside them.
    m_moreSpecies = new QToolButton(m_content);
    m_moreSpecies->setObjectName(QStringLiteral("moreSpecies"));
    m_moreSpecies->setText(QStringLiteral("»"));
    m_moreSpecies->setToolTip(QStringLiteral("More species"));
    m_moreSpecies->setGeometry(place::moreSpecies);
    m_moreSpecies->setPopupMode(QToolButton::InstantPopup);
    m_moreSpeciesMenu = new QMenu(m_moreSpecies);
    m_moreSpecies->setMenu(m_moreSpeciesMenu);
    m_moreSpecies->hide();
}

void MainWindow::layOutLayerControls()
{
    QWidget* c = m_content;
    m_layerCaption = makeLabel(c, QStringLiteral("layerCaption"), QStringLiteral("Layer"),
                               place::layerCaption, 12);
    m_sumLine = makeLabel(c, QStringLiteral("sumLine"), {}, place::sumLine, 12);
    m_sumLine->hide();
    m_layerPopUp = new QComboBox(c);
    m_layerPopUp->setObjectName(QStringLiteral("layerPopUp"));
    m_layerPopUp->setFont(systemFont(12));
    m_layerPopUp->setGeometry(place::layerPopUp);
    m_layerPopUp->addItem(QStringLiteral("-"));
    m_layerPopUp->setCurrentIndex(0);
    connect(m_layerPopUp, &QComboBox::currentIndexChanged, this, &MainWindow::layerChosen);
    m_layerOf = makeLabel(c, QStringLiteral("layerOf"), QStringLiteral("of -"), place::layerOf, 12);
    m_layerMinus = makePushButton(c, "layerMinus", QStringLiteral("-1"), place::layerMinus);
    connect(m_layerMinus, &QPushButton::clicked, this, [this] { stepLayer(-1); });
    m_layerPlus = makePushButton(c, "layerPlus", QStringLiteral("+1"), place::layerPlus);
    connect(m_layerPlus, &QPushButton::clicked, this, [this] { stepLayer(1); });

    auto* separator = new QFrame(c);
    separator->setObjectName(QStringLiteral("separator"));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(place::separator);
}

void MainWindow::layOutDetails()
{
    QWidget* c = m_content;
    m_details = new QToolButton(c);
    m_details->setObjectName(QStringLiteral("detailsToggle"));
    m_details->setCheckable(true);
    m_details->setAutoRaise(true);
    m_details->setArrowType(Qt::RightArrow);
    m_details->setGeometry(place::detailsToggle);
    connect(m_details, &QToolButton::toggled, this, &MainWindow::toggleDetails);
    makeLabel(c, QStringLiteral("detailsCaption"), QStringLiteral("Details"), place::detailsCaption,
              12);
    m_pixelSize =
        makeLabel(c, QStringLiteral("pixelSize"), {}, place::pixelSize, 12, Qt::AlignRight);
    m_micronSize =
        makeLabel(c, QStringLiteral("micronSize"), {}, place::micronSize, 12, Qt::AlignRight);

    int top = place::detailTop;
    for (const char* caption : detailCaptions) {
        makeLabel(c, {}, QLatin1String(caption), detailCaptionRect(top), 10, Qt::AlignRight);
        QLabel* field = makeLabel(c, {}, QStringLiteral("-"), detailFieldRect(top), 10);
        field->setProperty("caption", QLatin1String(caption));
        m_detailFields << field;
        top += place::detailStep;
    }
    for (int i = 0; i < kButtonSpecies; ++i) {
        const int rowTop = place::speciesRowsTop + place::detailStep * i;
        m_speciesCaptions[i] = makeLabel(c, QStringLiteral("speciesCaption%1").arg(i),
                                         QStringLiteral("Species %1:").arg(i + 1),
                                         detailCaptionRect(rowTop), 10, Qt::AlignRight);
        m_speciesNames[i] = makeLabel(c, QStringLiteral("speciesName%1").arg(i),
                                      QStringLiteral("-"), detailFieldRect(rowTop), 10);
    }
}

void MainWindow::placeOn(const QRect& available)
{
    move(available.left(), available.top() + place::belowScreenTop);
    m_places.setDefaults(available, width());
}

QPushButton* MainWindow::speciesButton(int index) const
{
    return index >= 0 && index < kButtonSpecies ? m_speciesButtons[index] : nullptr;
}

QLabel* MainWindow::speciesCaption(int index) const
{
    return index >= 0 && index < kButtonSpecies ? m_speciesCaptions[index] : nullptr;
}

QLabel* MainWindow::speciesNameLabel(int index) const
{
    return index >= 0 && index < kButtonSpecies ? m_speciesNames[index] : nullptr;
}

QLabel* MainWindow::detailField(const QString& caption) const
{
    for (QLabel* field : m_detailFields) {
        if (field->property("caption").toString() == caption)
            return field;
    }
    return nullptr;
}

// ---- Opening files ----

void MainWindow::chooseFile()
{
    openImage(Dialogs::openFile(this, QStringLiteral("Select a raw NanoSIMS image (*.im) file"),
                                rawImageDialogFilter()));
}

void MainWindow::chooseAppendedFile()
{
    appendImage(Dialogs::openFile(
        this, QStringLiteral("Select a further run of the same field (*.im) to append"),
        rawImageDialogFilter()));
}

namespace {

// The file a drop offers: its first item, when that is a local raw image file; else empty.
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return {};
    const QString path = urls.first().toLocalFile();
    return isRawImageName(path) ? path : QString();
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    openImage(path);
}

Result<ImFile::Status> MainWindow::openRun(const QString& path, bool append)
{
    Result<ReadableFile> readable = ReadableFile{path, {}, {}};
    if (needsExpanding(path)) {
        // Expanded once into the cache folder, off the GUI thread; a file that cannot be
        // expanded leaves the open acquisition as it was.
        readable = Failure{};
        const bool done = Dialogs::runLongWork(
            this, QStringLiteral("Expanding %1...").arg(QFileInfo(path).fileName()),
            [&](Progress& progress) {
                readable = readableFile(path, &progress);
                return readable.has_value();
            });
        if (!done) {
            if (!readable && !readable.error().message.isEmpty())
                showMessage(readable.error().message);
            return Failure{};
        }
    }
    ReadableFile& file = *readable;
    const Result<ImFile::Status> status =
        append ? m_acquisition.append(file.path, file.displayName, std::move(file.keepAlive))
               : m_acquisition.open(file.path, file.displayName, std::move(file.keepAlive));
    // A file that cannot follow leaves the acquisition open as it was: only a message tells.
    if (append && !status)
        showMessage(status.error().message);
    else if (append && status == ImFile::Status::Refused)
        showMessage(QStringLiteral("%1 is not a raw ion image: it cannot be appended.")
                        .arg(QFileInfo(path).fileName()));
    return status;
}

void MainWindow::openImage(const QString& path)
{
    if (!path.isEmpty() && !m_session->mayLeave())
        return;
    const QStringList files = chainedFiles(path);
    Result<ImFile::Status> status = Failure{};
    for (qsizetype i = 0; i < files.size(); ++i) {
        status = openRun(files[i], i > 0);
        if (status != ImFile::Status::Accepted)
            break;
    }
    if (!status && status.error().message.isEmpty())
        return; // no file, or an expansion that failed or was cancelled
    // Open, or the runs of a chain before one that could not follow (a message said so).
    if (m_acquisition.isOpen()) {
        // The summary was shown on fileChanged; the tooltip tells where the file is.
        m_fileName->setToolTip(
            QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()));
        return;
    }
    m_fileName->setText(status == ImFile::Status::Refused ? notImageText : noFileText);
    m_fileName->setToolTip({});
}

void MainWindow::appendImage(const QString& path)
{
    if (path.isEmpty() || !m_session->mayLeave())
        return;
    (void)openRun(path, m_acquisition.isOpen()); // what went wrong was said
}

void MainWindow::showAcquisition()
{
    m_filling = true;
    const ImHeader& h = m_acquisition.header();
    m_fileName->setText(h.fileName);
    fillLayerControls(m_acquisition.layerCount());
    showLayers();
    fillSummary();
    fillSpecies(m_acquisition.unshowableReason());
    for (const QString& message : m_acquisition.messages())
        showMessage(message);
    m_filling = false;
}

void MainWindow::fillLayerControls(int planes)
{
    m_layerPopUp->clear();
    QStringList rows;
    for (int p = 1; p <= planes; ++p)
        rows << QString::number(p);
    m_layerPopUp->addItems(rows);
    m_layerPopUp->setCurrentIndex(0);
    m_layerOf->setText(QStringLiteral("of ") + QString::number(planes));
    m_layerMinus->setEnabled(false);
    m_layerPlus->setEnabled(planes > 1);
}

void MainWindow::showLayers()
{
    const bool sum = m_acquisition.isSum();
    if (sum)
        m_sumLine->setText(QStringLiteral("Sum %1-%2")
                               .arg(m_acquisition.firstLayer())
                               .arg(m_acquisition.lastLayer()));
    m_sumLine->setVisible(sum);
    for (QWidget* w : {static_cast<QWidget*>(m_layerCaption), static_cast<QWidget*>(m_layerPopUp),
                       static_cast<QWidget*>(m_layerOf)})
        w->setVisible(!sum);
}

void MainWindow::fillSummary()
{
    const ImHeader& h = m_acquisition.header();
    m_pixelSize->setText(pixelSizeText(h));
    m_micronSize->setText(micronSizeText(h));
    const std::shared_ptr<const ImFile> file = m_acquisition.file();
    QStringList appended;
    for (const SummaryRow& row : file ? detailRows(*file) : detailRows(h, 0)) {
        if (row.caption == QLatin1String("Appended:"))
            appended << row.caption + QLatin1Char(' ') + row.text;
        if (QLabel* field = detailField(row.caption)) {
            // A value longer than its field ends in "…", the whole of it in the tooltip.
            const QString shown =
                field->fontMetrics().elidedText(row.text, Qt::ElideRight, field->width());
            field->setText(shown);
            field->setToolTip(shown == row.text ? QString() : row.text);
        }
    }
    // The details area has no rows of its own for the runs of a chain.
    if (QLabel* planes = detailField(QStringLiteral("Number of Planes:")); !appended.isEmpty())
        planes->setToolTip(appended.join(QLatin1Char('\n')));
}

void MainWindow::fillSpecies(const QString& unshowable)
{
    const QStringList& species = m_acquisition.header().species;
    for (int i = 0; i < kButtonSpecies; ++i) {
        const bool used = i < species.size();
        m_speciesNames[i]->setText(used ? species[i] : QStringLiteral("-"));
        m_speciesNames[i]->setEnabled(used);
        m_speciesCaptions[i]->setText(used ? QStringLiteral("Species %1:").arg(i + 1)
                                           : QStringLiteral("-"));
        m_speciesCaptions[i]->setEnabled(used);
        QPushButton* button = m_speciesButtons[i];
        button->setText(used ? shownAsIs(species[i]) : QString());
        button->setVisible(used);
        button->setEnabled(unshowable.isEmpty());
        button->setToolTip(unshowable);
    }
    m_moreSpeciesMenu->clear();
    for (int i = kButtonSpecies; i < species.size(); ++i) {
        QAction* entry = m_moreSpeciesMenu->addAction(
            QStringLiteral("%1  %2").arg(i + 1).arg(shownAsIs(species[i])));
        entry->setObjectName(QStringLiteral("moreSpecies%1").arg(i));
        entry->setCheckable(true);
        connect(entry, &QAction::triggered, this, [this, i](bool open) { toggleSpecies(i, open); });
    }
    m_moreSpecies->setVisible(species.size() > kButtonSpecies);
    m_moreSpecies->setEnabled(unshowable.isEmpty());
}

// ---- Species and layers ----

int MainWindow::imageRowHeight() const
{
    // The real frame of a first-row window when one is open; else what such a frame will be:
    // the content, the menu bar and the decorations this window's frame has too.
    int height = 0;
    for (const ImageWindow* w : m_windows.windows()) {
        if (!w->source().ratio && !w->overlay() && w->source().species % 8 < 4)
            height = std::max(height, w->frameGeometry().height());
    }
    if (height > 0)
        return height;
    const int side = m_acquisition.frameSide().value_or(256);
    const int decorations = frameGeometry().height() - geometry().height();
    return side + ImageWindow::kExtraHeight + ImageWindow::kReadoutHeight +
           menuBar()->sizeHint().height() + decorations;
}

ImageWindow* MainWindow::openImageWindow(const PlaneSource& source,
                                         std::optional<HsiBrightness> hsi)
{
    for (ImageWindow* w : m_windows.windows()) {
        if (w->source() == source && w->hsi() == hsi && !w->overlay()) {
            w->raise();
            w->activateWindow();
            return w;
        }
    }
    const QString key = windowKey(source, hsi.has_value());
    const int slot = source.ratio ? int(m_windows.windows().size()) : source.species;
    const QPoint at = m_places.place(key, slot, imageRowHeight());
    auto* window =
        new ImageWindow(m_acquisition, source, m_windows, hsi); // deletes itself when closed
    connect(window, &ImageWindow::closing, this, [this, source] {
        if (source.ratio)
            return;
        if (QPushButton* button = speciesButton(source.species))
            button->setChecked(false);
        if (QAction* entry = m_moreSpeciesMenu->findChild<QAction*>(
                QStringLiteral("moreSpecies%1").arg(source.species)))
            entry->setChecked(false);
    });
    showImageWindow(window, key, at);
    return window;
}

ImageWindow* MainWindow::openOverlayWindow(const OverlayDefinition& overlay)
{
    const QString key = QStringLiteral("overlay");
    const QPoint at = m_places.place(key, int(m_windows.windows().size()), imageRowHeight());
    auto* window = new ImageWindow(m_acquisition, overlay, m_windows); // deletes itself
    showImageWindow(window, key, at);
    return window;
}

void MainWindow::showImageWindow(ImageWindow* window, const QString& key, const QPoint& at)
{
    window->move(at);
    m_windows.add(window);
    connect(window, &ImageWindow::layerStepRequested, this, &MainWindow::stepLayer);
    connect(window, &ImageWindow::closing, this,
            [this, key](const QPoint& topLeft) { m_places.remember(key, topLeft); });
    window->show();
    // A default place that would put part of a large window off the screen gives way.
    if (const QRect area = m_places.available(); !area.isEmpty()) {
        const QRect frame = window->frameGeometry();
        const QPoint inside(
            std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())),
            std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
        if (inside != frame.topLeft())
            window->move(inside);
    }
}

void MainWindow::toggleSpecies(int species, bool open)
{
    if (open) {
        openImageWindow(PlaneSource{species, std::nullopt});
        return;
    }
    for (ImageWindow* w : m_windows.windows()) {
        if (!w->source().ratio && !w->overlay() && w->source().species == species)
            w->close();
    }
}

void MainWindow::layerChosen(int index)
{
    if (index < 0) // the pop-up was emptied
        return;
    m_layerMinus->setEnabled(index != 0);
    m_layerPlus->setEnabled(index != m_layerPopUp->count() - 1);
    if (!m_filling)
        m_acquisition.setLayer(index + 1);
}

void MainWindow::stepLayer(int delta)
{
    const int index = m_layerPopUp->currentIndex() + (delta < 0 ? -1 : 1);
    if (index >= 0 && index < m_layerPopUp->count())
        m_layerPopUp->setCurrentIndex(index);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        stepLayer(event->key() == Qt::Key_PageDown ? 1 : -1);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::toggleDetails(bool expanded)
{
    m_details->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_content->setFixedSize(place::contentWidth,
                            expanded ? place::expandedHeight : place::collapsedHeight);
}

// ---- Closing ----

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_session->mayLeave()) {
        event->ignore();
        return;
    }
    m_acquisition.close();
    QMainWindow::closeEvent(event);
    // Closing the main window ends the program: every other window closes with it, each
    // through its own closing handler.
    QList<QPointer<QWidget>> others;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible())
            others << w;
    }
    for (const QPointer<QWidget>& w : others) {
        if (w)
            w->close();
    }
    QCoreApplication::quit();
}

} // namespace isolumen
