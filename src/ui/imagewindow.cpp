#include "ui/imagewindow.h"

#include "core/io/countpage.h"
#include "core/render/colourmapping.h"
#include "core/render/displaypictures.h"
#include "core/render/scalebar.h"
#include "core/result.h"
#include "core/text/numbertext.h"
#include "ui/canvas.h"
#include "ui/colourselector.h"
#include "ui/dialogs.h"
#include "ui/historywindow.h"
#include "ui/imageview.h"
#include "ui/imagewindowlist.h"
#include "ui/messagebox.h"
#include "ui/regionoverlay.h"
#include "ui/regiontools.h"
#include "ui/systemfont.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

namespace isolumen {

namespace {

constexpr int designedSide = 256;

// Where the parts of the window sit: the row of buttons and fields along the top, the picture
// area under it with the colour bar at the window's right edge, the scale bar at the foot of
// the picture area and the readout strip below everything. What the window adds around its
// picture area, kExtraWidth and kExtraHeight, is in the header: the main window reckons with it.
namespace place {
constexpr int controlHeight = 15;
struct Column
{
    int x;
    int width;
};
constexpr Column linLogButton{0, 62};
constexpr Column minButton{62, 60};
constexpr Column minField{122, 60};
constexpr Column maxButton{182, 60};
constexpr Column maxField{242, 60};
constexpr Column colourButton{302, 75};
// Left of the picture, the scale bar and the readout, and right of the readout.
constexpr int margin = 20;
constexpr QPoint image(margin, 27);
constexpr int colourBarFromRight = 82;
constexpr int colourBarWidth = 80;
constexpr int scaleBarAboveBottom = 30; // of the picture area's rows
constexpr QSize scaleBar(258, 28);
} // namespace place

// What a window's frame adds to its content: its own decorations once shown, else those of a
// window already on the screen.
QSize decorations(const QWidget* window)
{
    if (window->isVisible())
        return window->frameGeometry().size() - window->geometry().size();
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isWindow())
            return w->frameGeometry().size() - w->geometry().size();
    }
    return {};
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        place::Column column)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setFont(systemFont(9));
    b->setFocusPolicy(Qt::NoFocus);
    // A bevel button of the row: flat, its caption filling the 15-pixel height.
    b->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; border: 1px solid #8c8c8c; "
                                    "background: #ececec; } "
                                    "QPushButton:pressed { background: #c8c8c8; }"));
    b->setGeometry(column.x, 0, column.width, place::controlHeight);
    return b;
}

QLineEdit* makeField(QWidget* parent, const char* name, place::Column column)
{
    auto* f = new QLineEdit(parent);
    f->setObjectName(QLatin1String(name));
    f->setFont(systemFont(9));
    f->setStyleSheet(QStringLiteral("QLineEdit { padding: 0px; border: 1px solid #8c8c8c; }"));
    f->setGeometry(column.x, 0, column.width, place::controlHeight);
    return f;
}

// A value for the readout: whole counts as they are, other values to six significant digits.
QString readoutValue(double v)
{
    return std::isnan(v) ? QStringLiteral("no value") : valueText(v);
}

// The caption of the percentile range item: "Percentile 0.1–99.9 %".
QString percentileCaption(double low, double high)
{
    return QStringLiteral("Percentile %1\u2013%2 %").arg(valueText(low), valueText(high));
}

// Writes a limit into its field, scrolled to its start so that its first digits show.
void fillField(QLineEdit* field, double value)
{
    field->setText(valueText(value));
    field->setCursorPosition(0);
}

constexpr Qt::WindowFlags kImageWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

QStringList speciesLabels(const Acquisition& acquisition)
{
    QStringList labels;
    for (int s = 0; s < acquisition.speciesCount(); ++s)
        labels << acquisition.speciesName(s);
    return labels;
}

} // namespace

ImageWindow::ImageWindow(Acquisition& acquisition, const PlaneSource& source,
                         ImageWindowList& windows, std::optional<HsiBrightness> hsi,
                         QWidget* parent)
    : QMainWindow(parent, kImageWindowFlags), m_acquisition(acquisition), m_source(source),
      m_hsi(source.ratio ? hsi : std::nullopt), m_windows(windows)
{
    setUp();
}

ImageWindow::ImageWindow(Acquisition& acquisition, const OverlayDefinition& overlay,
                         ImageWindowList& windows, QWidget* parent)
    : QMainWindow(parent, kImageWindowFlags), m_acquisition(acquisition), m_overlay(overlay),
      m_windows(windows)
{
    setUp();
}

void ImageWindow::setUp()
{
    setAttribute(Qt::WA_DeleteOnClose);
    Menu::instance().attachTo(menuBar());
    layOut();
    addMenuHandler(QStringLiteral("windowSize256"), [this] { setViewSide(256, 0); });
    addMenuHandler(QStringLiteral("windowSize512"), [this] { setViewSide(512, 1); });
    addViewCommands();
    addMenuHandler(QStringLiteral("fileSaveImage"), [this] { saveImage(); });
    addMenuHandler(QStringLiteral("fileExportCounts"), [this] { exportCounts(); });
    addMenuHandler(QStringLiteral("fileSaveFigure"), [this] {
        if (const std::optional<FigureContent> figure = figureContent())
            Dialogs::exportFigure(this, *figure);
    });
    addMenuHandler(QStringLiteral("editCopyFigure"), [this] {
        if (const std::optional<FigureContent> figure = figureContent())
            Dialogs::copyFigure(this, *figure);
    });

    connect(&m_acquisition, &Acquisition::fileChanged, this, &ImageWindow::followFile);
    for (auto signal : {&Acquisition::layersChanged, &Acquisition::correctionsChanged,
                        &Acquisition::alignmentChanged, &Acquisition::excludedLayersChanged})
        connect(&m_acquisition, signal, this, &ImageWindow::scheduleReload);

    m_colourButton->setText(colourButtonCaption(m_settings.table));
    // The hue scale of an HSI image is fixed; an overlay's ranges and colours are its sources'.
    m_colourButton->setEnabled(!m_hsi && !m_overlay);
    m_colourBarCanvas->setEnabled(!m_hsi && !m_overlay);
    for (QWidget* w : std::initializer_list<QWidget*>{m_linLogButton, m_minButton, m_minField,
                                                      m_maxButton, m_maxField})
        w->setEnabled(!m_overlay);
    reload();
    m_content->setFocus();
}

void ImageWindow::addViewCommands()
{
    addMenuHandler(QStringLiteral("viewAutoFull"), [this] {
        setAutoRange({AutoRange::Full, m_settings.autoRange.low, m_settings.autoRange.high});
    });
    addMenuHandler(QStringLiteral("viewAutoPercentile"), [this] {
        setAutoRange({AutoRange::Percentile, m_settings.autoRange.low, m_settings.autoRange.high});
    });
    addMenuHandler(QStringLiteral("viewAutoRegion"), [this] {
        setAutoRange({AutoRange::Region, m_settings.autoRange.low, m_settings.autoRange.high});
    });
    addMenuHandler(QStringLiteral("viewAutoPercentiles"), [this] { choosePercentiles(); });
    // A new selection, or the selected region moved, moves a range that follows it.
    const auto followRegion = [this] {
        if (m_settings.autoRange.mode == AutoRange::Region)
            setAutoRange(m_settings.autoRange);
    };
    connect(&RegionTools::instance(), &RegionTools::selectionChanged, this, followRegion);
    connect(&m_acquisition, &Acquisition::regionsChanged, this, followRegion);
    addMenuHandler(QStringLiteral("viewZoomIn"), [this] { setZoomStep(zoomStep() + 1); });
    addMenuHandler(QStringLiteral("viewZoomOut"), [this] { setZoomStep(zoomStep() - 1); });
    addMenuHandler(QStringLiteral("viewActualSize"), [this] { setZoomStep(0); });
    addMenuHandler(QStringLiteral("viewFit"), [this] {
        setZoomStep(ImageView::fittingStep(m_imageCanvas->zoomMap().side, m_viewSide + 2,
                                                     ZoomMap::kMaxStep));
    });
    for (QScrollBar* bar : {m_view->horizontalScrollBar(), m_view->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, &ImageWindow::refreshReadout);
    connect(m_view, &ImageView::zoomChanged, this, [this] {
        placeCanvases();
        updateTitle();
        updateScale();
        refreshReadout();
    });
}

void ImageWindow::layOut()
{
    setWindowTitle(QStringLiteral("-"));
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setAutoFillBackground(true);
    QPalette white = m_content->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_content->setPalette(white);
    m_content->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(m_content);
    // The window follows its content and cannot be resized by the user.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_linLogButton =
        makeButton(m_content, "linLogButton", QStringLiteral("Lin Scale"), place::linLogButton);
    m_minButton = makeButton(m_content, "minButton", QStringLiteral("Auto Min:"), place::minButton);
    m_minField = makeField(m_content, "minField", place::minField);
    m_maxButton = makeButton(m_content, "maxButton", QStringLiteral("Auto Max:"), place::maxButton);
    m_maxField = makeField(m_content, "maxField", place::maxField);
    m_colourButton =
        makeButton(m_content, "colourButton", QStringLiteral("Color T:"), place::colourButton);

    m_view = new ImageView(m_content);
    m_view->setObjectName(QStringLiteral("imageView"));
    m_imageCanvas = m_view->canvas();
    m_imageCanvas->setObjectName(QStringLiteral("imageCanvas"));
    m_imageCanvas->setMouseTracking(true);
    new RegionOverlay(m_acquisition, m_imageCanvas); // the regions over the picture
    m_colourBarCanvas = new Canvas(m_content);
    m_colourBarCanvas->setObjectName(QStringLiteral("colourBarCanvas"));
    m_colourBarCanvas->setCursor(Qt::PointingHandCursor);
    m_scaleCanvas = new Canvas(m_content);
    m_scaleCanvas->setObjectName(QStringLiteral("scaleCanvas"));
    m_readout = new QLabel(m_content);
    m_readout->setObjectName(QStringLiteral("readout"));
    m_readout->setFont(systemFont(9));
    m_readout->setTextFormat(Qt::PlainText);
    m_viewSide = designedSide;
    placeCanvases();
    connectControls();
}

void ImageWindow::connectControls()
{
    connect(m_linLogButton, &QPushButton::clicked, this, &ImageWindow::toggleLinLog);
    connect(m_minButton, &QPushButton::clicked, this, [this] {
        toggleLimit(m_settings.autoMin, m_settings.minValue, automaticLimits().first, m_minButton,
                    m_minField, QStringLiteral("Auto Min:"), QStringLiteral("Man Min:"));
    });
    connect(m_maxButton, &QPushButton::clicked, this, [this] {
        toggleLimit(m_settings.autoMax, m_settings.maxValue, automaticLimits().second, m_maxButton,
                    m_maxField, QStringLiteral("Auto Max:"), QStringLiteral("Man Max:"));
    });
    connect(m_minField, &QLineEdit::textChanged, this, [this](const QString& text) {
        limitTextChanged(text, m_settings.autoMin, m_settings.minValue, m_minButton,
                         QStringLiteral("Man Min:"),
                         QStringLiteral("Min TextChange calls Update Display"));
    });
    connect(m_maxField, &QLineEdit::textChanged, this, [this](const QString& text) {
        limitTextChanged(text, m_settings.autoMax, m_settings.maxValue, m_maxButton,
                         QStringLiteral("Man Max:"),
                         QStringLiteral("Max TextChange calls Update Display"));
    });
    connect(m_colourButton, &QPushButton::clicked, this, &ImageWindow::openColourSelector);
    connect(m_colourBarCanvas, &Canvas::pressed, this, &ImageWindow::openColourSelector);
    connect(m_imageCanvas, &Canvas::hovered, this, &ImageWindow::showReadout);
    connect(m_imageCanvas, &Canvas::left, this, [this] {
        m_hoverAt.reset();
        m_readout->clear();
    });
}

QSize ImageWindow::contentSize() const
{
    return m_content->size();
}

int ImageWindow::zoomStep() const
{
    return m_view->zoomStep();
}

void ImageWindow::setZoomStep(int step)
{
    m_view->setZoomStep(step);
}

int ImageWindow::roomForView() const
{
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown)
        return std::numeric_limits<int>::max();
    const QSize available = shown->availableGeometry().size() - decorations(this);
    const int menuHeight = menuBar()->sizeHint().height();
    return std::max(designedSide / 8,
                    std::min(available.width() - kExtraWidth,
                             available.height() - kExtraHeight - kReadoutHeight - menuHeight));
}

void ImageWindow::setViewSide(int view, int step)
{
    m_viewSide = std::min(view, roomForView());
    m_view->setZoomStep(step);
    placeCanvases();
}

void ImageWindow::showAt(int step)
{
    m_viewSide = std::min(m_viewSide, ZoomMap{m_shownSide, step}.viewSide());
    m_view->setZoomStep(step);
    placeCanvases();
    layout()->activate(); // the window takes its new size now, to be measured
}

void ImageWindow::sizeForPlane(int side)
{
    m_shownSide = side;
    const int step = ImageView::fittingStep(side, roomForView() + 2);
    m_viewSide = ZoomMap{side, step}.viewSide();
    m_view->setZoomStep(step);
    m_view->fitCanvas();
    placeCanvases();
}

void ImageWindow::placeCanvases()
{
    const int width = m_viewSide + kExtraWidth;
    const int height = m_viewSide + kExtraHeight;
    m_content->setFixedSize(width, height + kReadoutHeight);
    // The picture keeps to its area, scrolled where it is larger; the colour bar keeps to its
    // right and the scale bar under it, so that neither ever covers the picture.
    const QSize picture =
        m_imageCanvas->hasBackdrop() ? m_imageCanvas->viewSize() : QSize(m_viewSide, m_viewSide);
    m_view->setGeometry(
        QRect(place::image, picture.boundedTo(QSize(m_viewSide + 2, m_viewSide + 2))));
    m_colourBarCanvas->setGeometry(width - place::colourBarFromRight, place::image.y(),
                                   place::colourBarWidth, kColourBarCanvasHeight);
    m_scaleCanvas->setGeometry(
        QRect(QPoint(place::margin, height - place::scaleBarAboveBottom), place::scaleBar));
    m_readout->setGeometry(place::margin, height, width - 2 * place::margin, kReadoutHeight);
}

void ImageWindow::updateTitle()
{
    const int step = zoomStep();
    setWindowTitle(step == 0 ? m_title
                             : m_title + QStringLiteral(" \u2013 ") + zoomText(step));
}

void ImageWindow::updateScale()
{
    if (!m_planes.shown)
        return;
    const double micronSize = m_acquisition.header().micronSize;
    m_scaleCanvas->setBackdrop(
        scalePicture(micronSize, m_imageCanvas->zoomMap().viewSide()).picture);
}

std::pair<double, double> ImageWindow::automaticLimits() const
{
    if (!m_planes.shown)
        return {0, 0};
    return automaticRange(*m_planes.shown, m_settings.autoRange, selectedRegion());
}

void ImageWindow::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    for (const char* name :
         {"viewAutoFull", "viewAutoPercentile", "viewAutoRegion", "viewAutoPercentiles"}) {
        if (QAction* item = Menu::instance().item(QLatin1String(name)))
            menu.addAction(item);
    }
    showAutoRange();
    menu.exec(event->globalPos());
}

void ImageWindow::changeEvent(QEvent* event)
{
    // The shared menu's range items show the window in front.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        showAutoRange();
    QMainWindow::changeEvent(event);
}

QStringList ImageWindow::sourceLabels() const
{
    if (!m_source.ratio)
        return {m_acquisition.speciesName(m_source.species).trimmed()};
    QStringList labels; // the numerator's, then the denominator's
    for (const int s : m_source.ratio->numerator + m_source.ratio->denominator)
        labels << m_acquisition.speciesName(s).trimmed();
    return labels;
}

void ImageWindow::followFile()
{
    if (m_acquisition.isOpen() && !m_labels.isEmpty() && !m_overlay) {
        QStringList labels;
        for (int i = 0; i < m_acquisition.speciesCount(); ++i)
            labels << m_acquisition.speciesName(i).trimmed();
        if (m_source.ratio) {
            QStringList missing;
            for (const QString& label : std::as_const(m_labels)) {
                if (!labels.contains(label))
                    missing << label;
            }
            RatioDefinition& ratio = *m_source.ratio;
            const QList<int> was = ratio.numerator + ratio.denominator;
            if (!missing.isEmpty()) {
                const auto oldName = [&](int s) { return m_labels.value(was.indexOf(s)); };
                showMessage(
                    QStringLiteral("The window of %1 was closed: the file opened has no %2.")
                        .arg(ratioTermsLabel(ratio, oldName),
                             missing.join(QStringLiteral(" and "))));
                close();
                return;
            }
            for (qsizetype i = 0; i < was.size(); ++i) {
                int& s = i < ratio.numerator.size() ? ratio.numerator[i]
                                                    : ratio.denominator[i - ratio.numerator.size()];
                s = int(labels.indexOf(m_labels[i]));
            }
        } else if (labels.value(m_source.species) != m_labels.first()) {
            // Another species under this button: its range is its own.
            m_settings.autoMin = m_settings.autoMax = true;
            m_minButton->setText(QStringLiteral("Auto Min:"));
            m_maxButton->setText(QStringLiteral("Auto Max:"));
        }
    }
    scheduleReload();
}

bool ImageWindow::sourceInFile() const
{
    const int count = m_acquisition.speciesCount();
    if (m_overlay) {
        for (const OverlaySource& s : m_overlay->sources) {
            const QList<int> species = s.source.terms.species();
            if (!std::all_of(species.begin(), species.end(), [count](int k) { return k < count; }))
                return false;
        }
        return true;
    }
    if (m_source.ratio) {
        const QList<int> species = m_source.ratio->species();
        return std::all_of(species.begin(), species.end(), [count](int s) { return s < count; });
    }
    return m_source.species < count;
}

QString ImageWindow::layersText() const
{
    return isolumen::layersText(m_acquisition.request(m_source));
}

void ImageWindow::scheduleReload()
{
    if (m_reloadPending)
        return;
    m_reloadPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_reloadPending = false;
            reload();
        },
        Qt::QueuedConnection);
}

bool ImageWindow::loadPlane(const PlaneRequest& request, Result<PlaneResult>& result)
{
    if (m_acquisition.isQuick(request)) {
        result = m_acquisition.plane(request);
        return true;
    }
    m_reloading = true;
    const bool done = Dialogs::runLongWork(
        this,
        QStringLiteral("Summing layers %1 to %2...").arg(request.firstLayer).arg(request.lastLayer),
        [&](Progress& progress) {
            result = m_acquisition.plane(request, &progress);
            return result.has_value();
        });
    m_reloading = false;
    return done;
}

void ImageWindow::reload()
{
    if (m_reloading) { // asked again from within a long load: load once more after it
        scheduleReload();
        return;
    }
    if (!sourceInFile() ||
        (m_acquisition.isOpen() && !m_acquisition.unshowableReason().isEmpty())) {
        close();
        return;
    }
    // After a cancelled or refused open the file is closed: the window keeps showing the plane
    // it has, under the title that names it.
    if (!m_acquisition.isOpen())
        return;
    if (m_overlay) {
        reloadOverlay();
        return;
    }

    const PlaneRequest request = m_acquisition.request(m_source);
    Result<PlaneResult> result = Failure{};
    if (!loadPlane(request, result))
        return;
    if (!result) {
        showMessage(result.error().message);
        return;
    }
    m_planes = *result;
    m_request = request;
    m_labels = sourceLabels();
    const int side = result->shown->side;
    if (side != m_shownSide)
        sizeForPlane(side); // layers and sums keep the zoom and size
    m_title = m_acquisition.title(request, titleName());
    updateTitle();

    settleLimits();
    HistoryWindow::add(QStringLiteral("LoadNewImage calls Update Display"));
    updateDisplay();
    if (result->saturatedPixels > 0)
        showMessage(QStringLiteral("%1 pixels of %2 have no value: the detector was saturated "
                                   "there (N tau / t >= 1).")
                        .arg(result->saturatedPixels)
                        .arg(windowTitle()));
}

const Region* ImageWindow::selectedRegion() const
{
    const QList<int>& selection = RegionTools::instance().selection();
    const QList<Region>& regions = m_acquisition.regions();
    return selection.isEmpty() || selection.first() >= regions.size() ? nullptr
                                                                      : &regions[selection.first()];
}

void ImageWindow::settleLimits()
{
    settleDisplayRange(m_settings, *m_planes.shown, m_minField->text(), m_maxField->text(),
                       selectedRegion());
    m_writingLimits = true;
    if (m_settings.autoMax)
        fillField(m_maxField, m_settings.maxValue);
    if (m_settings.autoMin)
        fillField(m_minField, m_settings.minValue);
    m_writingLimits = false;
}

void ImageWindow::setAutoRange(const AutoRangeChoice& choice)
{
    m_settings.autoRange = choice;
    showAutoRange();
    if (!m_planes.shown || !(m_settings.autoMin || m_settings.autoMax))
        return;
    settleLimits();
    updateDisplay();
}

void ImageWindow::showAutoRange() const
{
    const AutoRangeChoice& c = m_settings.autoRange;
    const std::pair<const char*, AutoRange> items[] = {
        {"viewAutoFull", AutoRange::Full},
        {"viewAutoPercentile", AutoRange::Percentile},
        {"viewAutoRegion", AutoRange::Region}};
    for (const auto& [name, mode] : items) {
        if (QAction* item = Menu::instance().item(QLatin1String(name)))
            item->setChecked(c.mode == mode);
    }
    if (QAction* item = Menu::instance().item(QStringLiteral("viewAutoPercentile")))
        item->setText(percentileCaption(c.low, c.high));
}

void ImageWindow::choosePercentiles()
{
    const AutoRangeChoice& c = m_settings.autoRange;
    if (const auto chosen = Dialogs::percentiles(this, c.low, c.high))
        setAutoRange({AutoRange::Percentile, chosen->first, chosen->second});
}

void ImageWindow::updateDisplay()
{
    // A window opened while the file was closed holds no plane: a range typed into it must not
    // draw an empty frame, nor complain about a scale bar for no image.
    if (!m_planes.shown)
        return;
    if (m_overlay) {
        showOverlay();
        return;
    }
    const double micronSize = m_acquisition.header().micronSize;
    const std::optional<DisplayPictures> pictures =
        m_hsi ? hsiDisplayPictures(m_planes, m_settings, *m_hsi, micronSize)
              : displayPictures(*m_planes.shown, m_settings, micronSize, ImagePicture::Skipped);
    if (!pictures)
        return;
    HistoryWindow::add(QStringLiteral("Update Display called"));
    if (m_hsi) {
        m_imageCanvas->setBackdrop(pictures->image);
    } else {
        // Drawn at paint time, and only the part painted.
        const int side = m_planes.shown->side;
        m_imageCanvas->setBackdrop(
            QSize(side + 2, side + 2), [plane = m_planes.shown, s = m_settings](
                                           const QRect& area, QImage& into, const QPoint& at) {
                drawImagePicture(*plane, s.minValue, s.maxValue, s.lut, s.noValue, area, into, at);
            });
    }
    if (m_imageCanvas->size() != m_imageCanvas->viewSize()) {
        m_view->fitCanvas();
        placeCanvases();
    }
    m_colourBarCanvas->setBackdrop(pictures->colourBar);
    if (zoomStep() == 0)
        m_scaleCanvas->setBackdrop(pictures->scale);
    else
        updateScale();
    refreshReadout();
    emit displayUpdated();
    if (!pictures->scaleProblem.isEmpty() && !m_scaleProblemShown) {
        m_scaleProblemShown = true;
        showMessage(pictures->scaleProblem);
    }
}

void ImageWindow::setManualLimits(std::optional<double> min, std::optional<double> max)
{
    if (min) {
        m_settings.autoMin = false;
        m_minButton->setText(QStringLiteral("Man Min:"));
        fillField(m_minField, *min);
    }
    if (max) {
        m_settings.autoMax = false;
        m_maxButton->setText(QStringLiteral("Man Max:"));
        fillField(m_maxField, *max);
    }
}

void ImageWindow::setColours(const ColourChoice& choice)
{
    if (!isolumen::setColours(m_settings, choice))
        return;
    m_colourButton->setText(colourButtonCaption(choice.table));
    updateDisplay();
}

QString ImageWindow::readoutText(int x, int y) const
{
    const Plane* plane = m_planes.shown.get();
    if (!plane || x < 0 || y < 0 || x >= plane->side || y >= plane->side)
        return {};
    const double micronsPerPixel = m_acquisition.header().micronsPerPixel();
    QString text = QStringLiteral("x %1  y %2  (%3, %4 µm)  ")
                       .arg(x)
                       .arg(y)
                       .arg((x + 0.5) * micronsPerPixel, 0, 'f', 2)
                       .arg((y + 0.5) * micronsPerPixel, 0, 'f', 2);
    if (m_overlay)
        text += overlayReadout(x, y);
    else if (m_planes.numerator && m_planes.denominator)
        text += QStringLiteral("N %1  D %2  R %3")
                    .arg(readoutValue(m_planes.numerator->value(x, y)),
                         readoutValue(m_planes.denominator->value(x, y)),
                         readoutValue(plane->value(x, y)));
    else
        text += readoutValue(plane->value(x, y));
    return text + QStringLiteral("  ") + layersText();
}

void ImageWindow::showReadout(const QPoint& canvasPixel)
{
    m_hoverAt = m_imageCanvas->mapToGlobal(canvasPixel);
    // Through the zoom: at 100% the picture's pixel (x + 1, y + 1) shows value (x, y), its frame
    // none.
    const QPointF shown = m_imageCanvas->toShown(QPointF(canvasPixel));
    m_readout->setText(readoutText(int(std::floor(shown.x())), int(std::floor(shown.y()))));
}

void ImageWindow::refreshReadout()
{
    // The canvas may have moved or zoomed under the resting mouse.
    if (m_hoverAt)
        showReadout(m_imageCanvas->mapFromGlobal(*m_hoverAt));
}

void ImageWindow::toggleLinLog()
{
    m_settings.logScale = !m_settings.logScale;
    m_linLogButton->setText(m_settings.logScale ? QStringLiteral("Log Scale")
                                                : QStringLiteral("Lin Scale"));
    updateDisplay();
}

void ImageWindow::toggleLimit(bool& automatic, double& limit, double extreme, QPushButton* button,
                              QLineEdit* field, const QString& autoCaption,
                              const QString& manualCaption)
{
    automatic = !automatic;
    if (automatic) {
        button->setText(autoCaption);
        limit = extreme;
        // The field's change handler redraws.
        fillField(field, limit);
    } else {
        button->setText(manualCaption);
    }
}

void ImageWindow::limitTextChanged(const QString& text, bool& automatic, double& limit,
                                   QPushButton* button, const QString& manualCaption,
                                   const QString& historyLine)
{
    if (!automatic) {
        limit = leadingNumber(text);
    } else if (valueText(limit) != text) {
        // Typed by the user: the limit becomes manual. A text the program wrote equals the
        // limit it set just before.
        automatic = false;
        button->setText(manualCaption);
        limit = leadingNumber(text);
    }
    HistoryWindow::add(historyLine);
    if (!m_writingLimits)
        updateDisplay();
}

void ImageWindow::openColourSelector()
{
    ColourSelector* selector = ColourSelector::instance(m_windows);
    selector->retarget(this, sourceName(), colours(m_settings));
    selector->show();
    selector->raise();
    selector->activateWindow();
}

void ImageWindow::saveImage()
{
    if (m_imageCanvas->hasBackdrop())
        Dialogs::exportPicture(this, m_imageCanvas->backdrop());
}

std::optional<FigureContent> ImageWindow::figureContent() const
{
    if (!m_planes.shown || !m_imageCanvas->hasBackdrop())
        return std::nullopt;
    FigureContent figure;
    figure.picture = m_imageCanvas->backdrop();
    if (m_overlay)
        figure.legend = overlayChannels();
    else
        figure.colourBar = FigureColourBar{m_hsi ? hueTable() : m_settings.lut, m_settings.maxValue,
                                           m_settings.minValue, m_settings.logScale};
    figure.micronSize = m_acquisition.header().micronSize;
    figure.regions = m_acquisition.regions();
    return figure;
}

void ImageWindow::exportCounts()
{
    if (!m_planes.shown || m_overlay) // an overlay's counts are its sources'
        return;
    const QString chosen =
        Dialogs::saveFile(this, QStringLiteral("Export Counts"), QStringLiteral("counts.tif"),
                          QStringLiteral("TIFF counts (*.tif *.tiff)"))
            .first;
    if (chosen.isEmpty())
        return;
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    const QString path = suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")
                             ? chosen
                             : chosen + QStringLiteral(".tif");
    // As --export-counts writes a single page.
    const CountStack stack{m_planes.shown->side,
                           m_acquisition.header().micronsPerPixel(),
                           1,
                           1,
                           {m_acquisition.title(m_request)}};
    const std::shared_ptr<const ImFile> file = m_acquisition.file();
    const Result<> written = writeCountTiff(
        path, stack, m_request, file ? file->widestSample() : m_acquisition.header().bytesPerSample,
        [this](int) -> Result<PlanePtr> { return m_planes.shown; });
    if (!written)
        showMessage(written.error().message);
}

void ImageWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        emit layerStepRequested(event->key() == Qt::Key_PageDown ? 1 : -1);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void ImageWindow::closeEvent(QCloseEvent* event)
{
    emit closing(pos());
    QMainWindow::closeEvent(event);
}

QString ImageWindow::sourceName() const
{
    if (!m_overlay)
        return m_acquisition.sourceName(m_source);
    const QStringList labels = speciesLabels(m_acquisition);
    QStringList names;
    for (const OverlaySource& s : m_overlay->sources)
        names << findingSourceText(s.source, labels);
    return QStringLiteral("Overlay ") + names.join(QStringLiteral(", "));
}

QString ImageWindow::titleName() const
{
    return m_hsi ? sourceName() + QStringLiteral(" HSI") : sourceName();
}

QList<FigureLegendEntry> ImageWindow::overlayChannels() const
{
    if (!m_overlay)
        return {};
    const QStringList labels = speciesLabels(m_acquisition);
    QList<FigureLegendEntry> infos;
    for (int i = 0; i < m_overlayChannels.size(); ++i) {
        const OverlayChannel& c = m_overlayChannels[i];
        infos << FigureLegendEntry{
            findingSourceText(m_overlay->sources[i].source, labels), c.colour, c.low,
            c.high};
    }
    return infos;
}

QString ImageWindow::overlayReadout(int x, int y) const
{
    const QList<FigureLegendEntry> channels = overlayChannels();
    QStringList values;
    for (int i = 0; i < channels.size(); ++i)
        values << channels[i].name + QLatin1Char(' ') +
                      readoutValue(m_overlayPlanes[i]->value(x, y));
    return values.join(QStringLiteral("  "));
}

void ImageWindow::reloadOverlay()
{
    const std::pair layers{m_acquisition.firstLayer(), m_acquisition.lastLayer()};
    bool quick = true;
    for (const OverlaySource& s : m_overlay->sources) {
        for (const PlaneRequest& r : findingRequests(s.source, layers, m_acquisition))
            quick = quick && m_acquisition.isQuick(r);
    }
    Result<QList<PlanePtr>> planes = Failure{};
    const auto load = [&](Progress* progress) {
        planes = overlayPlanes(*m_overlay, layers, m_acquisition, progress);
        return planes.has_value();
    };
    if (quick) {
        load(nullptr);
    } else {
        m_reloading = true;
        const bool done = Dialogs::runLongWork(
            this, QStringLiteral("Summing layers %1 to %2...").arg(layers.first).arg(layers.second),
            [&](Progress& progress) { return load(&progress); });
        m_reloading = false;
        if (!done)
            return;
    }
    if (!planes) {
        showMessage(planes.error().message);
        return;
    }
    m_overlayPlanes = *planes;
    m_overlayChannels = isolumen::overlayChannels(*m_overlay, m_overlayPlanes);
    m_planes = PlaneResult{};
    m_planes.shown = m_overlayPlanes.first();
    m_request = m_acquisition.request(m_source);
    const int side = m_planes.shown->side;
    if (side != m_shownSide)
        sizeForPlane(side);
    m_title = m_acquisition.title(m_request, titleName());
    updateTitle();
    updateDisplay();
}

void ImageWindow::showOverlay()
{
    const int side = m_planes.shown->side;
    QImage framed(side + 2, side + 2, QImage::Format_RGB32);
    framed.fill(Qt::black);
    QPainter(&framed).drawImage(1, 1, overlayPicture(m_overlayChannels));
    m_imageCanvas->setBackdrop(framed);
    if (m_imageCanvas->size() != m_imageCanvas->viewSize()) {
        m_view->fitCanvas();
        placeCanvases();
    }
    m_colourBarCanvas->setBackdrop(overlayLegend(
        overlayChannels(), QSize(place::colourBarWidth, kColourBarCanvasHeight)));
    updateScale();
    refreshReadout();
    emit displayUpdated();
}

} // namespace isolumen
