#include "mainwindow/mainwindow.h"

#include "app/dialogs.h"
#include "app/filetypes.h"
#include "app/globals.h"
#include "app/menu.h"
#include "app/msgbox.h"
#include "app/systemfont.h"
#include "display/imagewindow.h"

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
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QUrl>

namespace {

constexpr int contentWidth = 316;
constexpr int collapsedHeight = 186;
constexpr int expandedHeight = 700;

const QString noFileText = QStringLiteral("(open file or drag file here)");
const QString notImageText = QStringLiteral("(not an image file)");

QPointer<Main>& shared()
{
    static QPointer<Main> window;
    return window;
}

QString indexed(const char* group, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(group)).arg(index);
}

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

// The rows of the details area: caption ST(2 + k) and value field, 20 apart from top 186.
struct DetailRow
{
    const char* caption;
    const char* field;
};
constexpr DetailRow detailLayout[] = {
    {"Original Name:", "TOrigName"},
    {"Date, Time:", "TMeasDate"},
    {"File Size:", "TFileSize"},
    {"Header Size:", "Theadersize"},
    {"X Position:", "TPositionX"},
    {"Y Position:", "TPositionY"},
    {"Duration (total):", "TDuration"},
    {"Duration/Layer:", "TDurationLayer"},
    {"Duration/Pixel:", "TDurationPixel"},
    {"User Name:", "TUserName"},
    {"Image Type:", "Timagetype"},
    {"Pixel Width:", "Tpixelwidth"},
    {"Pixel Height:", "Tpixelheight"},
    {"Pixel Depth:", "Tpixeldepth"},
    {"Image Size:", "Tsizenm"},
    {"Number of Planes:", "Tnplanes"},
    {"Number of Species:", "TnSpecies"},
};
constexpr int detailTop = 186;
constexpr int detailStep = 20;
constexpr int speciesRowsTop = 526;

QRect detailCaptionRect(int top)
{
    return {20, top, 110, 12};
}
QRect detailFieldRect(int top)
{
    return {152, top, 144, 12};
}

// Why the species buttons of an accepted file cannot open image windows, or empty when they
// can.
QString unshowableReason(const ImFile& file)
{
    const ImHeader& h = file.header();
    if (!h.hasFrames())
        return QStringLiteral("This file holds no frames to show.");
    if (!file.frameSide()) {
        return QStringLiteral("Frames of %1 x %2 pixels cannot be shown: only square frames of "
                              "64, 128, 256, 512, 1024 or 2048 pixels can.")
            .arg(h.PixelWidth)
            .arg(h.PixelHeight);
    }
    return {};
}

} // namespace

Main::Main()
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    if (!shared())
        shared() = this;
    Layout();
    AddMenuHandlers();
    Event_Open();
}

Main::~Main()
{
    if (shared() == this)
        shared() = nullptr;
}

Main* Main::instance()
{
    QPointer<Main>& window = shared();
    if (!window) {
        window = new Main;
        window->show();
    }
    return window;
}

Main* Main::existing()
{
    return shared();
}

void Main::Layout()
{
    Menu::instance().attachTo(menuBar());
    setWindowTitle(QStringLiteral("Isolumen"));

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setFixedSize(contentWidth, collapsedHeight);
    setCentralWidget(m_content);
    // The window follows its content and cannot be resized by the user.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    QWidget* c = m_content;
    m_st[0] = makeLabel(c, indexed("ST", 0), QStringLiteral("File:"), {20, 14, 30, 20}, 12);
    m_fileName = makeLabel(c, QStringLiteral("TFileName"), noFileText, {62, 14, 234, 20}, 12);

    for (int i = 0; i < 8; ++i) {
        auto* button = new QPushButton(QStringLiteral("Sp%1").arg(i + 1), c);
        button->setObjectName(indexed("ButtonSpecies", i));
        button->setCheckable(true);
        button->setFont(systemFont(12));
        button->setGeometry(20 + 72 * (i % 4), i < 4 ? 46 : 80, 60, 22);
        button->hide();
        // clicked, not toggled: releasing a button in code must not run the handler.
        connect(button, &QPushButton::clicked, this,
                [this, i](bool down) { ButtonSpecies_Action(i, down); });
        m_buttonSpecies[i] = button;
    }

    m_st[1] = makeLabel(c, indexed("ST", 1), QStringLiteral("Layer"), {20, 114, 38, 20}, 12);
    m_layerPopUp = new QComboBox(c);
    m_layerPopUp->setObjectName(QStringLiteral("LayerPopUp"));
    m_layerPopUp->setFont(systemFont(12));
    m_layerPopUp->setGeometry(70, 114, 61, 19);
    m_layerPopUp->addItem(QStringLiteral("-"));
    m_layerPopUp->setCurrentIndex(0);
    connect(m_layerPopUp, &QComboBox::currentIndexChanged, this, &Main::LayerPopUp_Change);
    m_layerOf =
        makeLabel(c, QStringLiteral("TLayerOf"), QStringLiteral("of -"), {143, 114, 49, 19}, 12);
    m_layerMinus = new QPushButton(QStringLiteral("-1"), c);
    m_layerMinus->setObjectName(QStringLiteral("LayerMinus"));
    m_layerMinus->setFont(systemFont(12));
    m_layerMinus->setGeometry(204, 114, 40, 20);
    connect(m_layerMinus, &QPushButton::clicked, this, &Main::LayerMinus_Action);
    m_layerPlus = new QPushButton(QStringLiteral("+1"), c);
    m_layerPlus->setObjectName(QStringLiteral("LayerPlus"));
    m_layerPlus->setFont(systemFont(12));
    m_layerPlus->setGeometry(256, 114, 40, 20);
    connect(m_layerPlus, &QPushButton::clicked, this, &Main::LayerPlus_Action);

    auto* separator = new QFrame(c);
    separator->setObjectName(QStringLiteral("Separator2"));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(20, 146, 276, 4);

    m_details = new QToolButton(c);
    m_details->setObjectName(QStringLiteral("Details"));
    m_details->setCheckable(true);
    m_details->setAutoRaise(true);
    m_details->setArrowType(Qt::RightArrow);
    m_details->setGeometry(20, 162, 12, 12);
    connect(m_details, &QToolButton::toggled, this, &Main::Details_Action);
    m_st[27] = makeLabel(c, indexed("ST", 27), QStringLiteral("Details"), {44, 159, 60, 20}, 12);
    m_pixelSize =
        makeLabel(c, QStringLiteral("TPixelSize"), {}, {124, 159, 100, 20}, 12, Qt::AlignRight);
    m_micronSize =
        makeLabel(c, QStringLiteral("TMicronSize"), {}, {236, 159, 60, 20}, 12, Qt::AlignRight);

    int top = detailTop;
    int index = 2;
    for (const DetailRow& row : detailLayout) {
        m_st[index] = makeLabel(c, indexed("ST", index), QLatin1String(row.caption),
                                detailCaptionRect(top), 10, Qt::AlignRight);
        m_detailFields << makeLabel(c, QLatin1String(row.field), QStringLiteral("-"),
                                    detailFieldRect(top), 10);
        top += detailStep;
        ++index;
    }
    for (int i = 0; i < 8; ++i) {
        const int rowTop = speciesRowsTop + detailStep * i;
        m_stSpecies[i] =
            makeLabel(c, indexed("STspecies", i), QStringLiteral("Species %1:").arg(i + 1),
                      detailCaptionRect(rowTop), 10, Qt::AlignRight);
        m_tSpecies[i] =
            makeLabel(c, indexed("TSpecies", i), QStringLiteral("-"), detailFieldRect(rowTop), 10);
    }
    layout()->activate();
}

void Main::Event_Open()
{
    setWindowTitle(QStringLiteral("Isolumen  0.0.1"));
    setAcceptDrops(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        placeOn(screen->availableGeometry());
    for (QPushButton* button : m_buttonSpecies)
        button->hide();
    m_currentlyLoading = false;
}

void Main::placeOn(const QRect& available)
{
    move(available.left(), available.top() + 24);
    const Globals::ImagePositions p = Globals::defaultImagePositions(available, width());
    for (int i = 0; i < 8; ++i) {
        Globals::ImageTop[i] = p.top[i];
        Globals::ImageLeft[i] = p.left[i];
    }
}

void Main::AddMenuHandlers()
{
    addMenuHandler(QStringLiteral("FileOpen"), [this] { return _FileOpen_Action(); });
}

QLabel* Main::ST(int index) const
{
    return index >= 0 && index < int(m_st.size()) ? m_st[index] : nullptr;
}

QPushButton* Main::ButtonSpecies(int index) const
{
    return index >= 0 && index < 8 ? m_buttonSpecies[index] : nullptr;
}

QLabel* Main::STspecies(int index) const
{
    return index >= 0 && index < 8 ? m_stSpecies[index] : nullptr;
}

QLabel* Main::TSpecies(int index) const
{
    return index >= 0 && index < 8 ? m_tSpecies[index] : nullptr;
}

QLabel* Main::detailField(const QString& name) const
{
    for (QLabel* field : m_detailFields) {
        if (field->objectName() == name)
            return field;
    }
    return nullptr;
}

// ---- Opening files ----

bool Main::_FileOpen_Action()
{
    const QString path =
        Dialogs::openFile(this, QStringLiteral("Select a raw NanoSIMS image (*.im) file"),
                          FileTypes::pImageNanoSIMS().dialogFilter());
    OpenImage(path);
    return false;
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
    return FileTypes::pImageNanoSIMS().matches(path) ? path : QString();
}

} // namespace

void Main::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void Main::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Event_DropObject(path);
}

void Main::Event_DropObject(const QString& path)
{
    OpenImage(path);
}

void Main::OpenImage(const QString& path)
{
    m_file.close();
    const ImFile::Status status = m_file.open(path);
    if (status != ImFile::Status::Accepted) {
        m_fileName->setText(status == ImFile::Status::Refused ? notImageText : noFileText);
        m_fileName->setToolTip({});
        return;
    }

    m_currentlyLoading = true;
    const ImHeader& h = m_file.header();
    m_fileName->setText(h.FileName);
    m_fileName->setToolTip(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    fillLayerControls(h.Nplanes);
    fillSummary(h);
    const QString reason = unshowableReason(m_file);
    fillSpecies(h, reason);
    for (const QString& message : m_file.messages())
        MsgBox(message);
    if (const std::optional<int> side = m_file.frameSide())
        Globals::PSize = *side;
    m_currentlyLoading = false;

    if (reason.isEmpty())
        SendUpdate();
    else
        closeImageWindows(); // they would show invented or misread frames
}

void Main::fillLayerControls(int planes)
{
    m_layerPopUp->clear();
    QStringList rows;
    for (int p = 1; p <= planes; ++p)
        rows << QString::number(p);
    // Adding the first row selects it, which runs LayerPopUp_Change; SendUpdate then does
    // nothing while the header is being read.
    m_layerPopUp->addItems(rows);
    m_layerPopUp->setCurrentIndex(0);
    m_selPlane = 1;
    m_layerOf->setText(QStringLiteral("of ") + QString::number(planes));
    m_layerMinus->setEnabled(false);
    m_layerPlus->setEnabled(planes > 1);
}

void Main::fillSummary(const ImHeader& h)
{
    m_pixelSize->setText(pixelSizeText(h));
    m_micronSize->setText(micronSizeText(h));
    for (const SummaryRow& row : detailRows(h)) {
        if (QLabel* field = detailField(row.control))
            field->setText(row.text);
    }
}

void Main::fillSpecies(const ImHeader& h, const QString& unshowable)
{
    for (int i = 0; i < 8; ++i) {
        const bool used = i < h.shownSpecies();
        m_tSpecies[i]->setText(h.Species[i]);
        m_tSpecies[i]->setEnabled(used);
        m_stSpecies[i]->setText(used ? QStringLiteral("Species %1:").arg(i + 1)
                                     : QStringLiteral("-"));
        m_stSpecies[i]->setEnabled(used);
        QPushButton* button = m_buttonSpecies[i];
        // A "&" in a name is shown, not taken for a keyboard mnemonic.
        button->setText(QString(h.Species[i]).replace(QLatin1Char('&'), QStringLiteral("&&")));
        button->setVisible(used);
        button->setEnabled(unshowable.isEmpty());
        button->setToolTip(unshowable);
    }
}

// ---- Species and layers ----

QList<ImageWindow*> Main::imageWindows()
{
    QList<ImageWindow*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* image = qobject_cast<ImageWindow*>(w); image && image->isVisible())
            windows << image;
    }
    return windows;
}

void Main::SendUpdate()
{
    if (m_currentlyLoading)
        return;
    // A load may close its own window (a species the new file lacks), so the list is made
    // first and each window checked before it is told.
    QList<QPointer<ImageWindow>> windows;
    for (ImageWindow* w : imageWindows())
        windows << w;
    for (const QPointer<ImageWindow>& w : windows) {
        if (w && w->isVisible())
            w->LoadNewImage();
    }
}

void Main::closeImageWindows()
{
    QList<QPointer<ImageWindow>> windows;
    for (ImageWindow* w : imageWindows())
        windows << w;
    for (const QPointer<ImageWindow>& w : windows) {
        if (w)
            w->close();
    }
}

void Main::ButtonSpecies_Action(int index, bool down)
{
    if (down) {
        Globals::AssignID = index;
        auto* window = new ImageWindow; // deletes itself when closed
        window->show();
        return;
    }
    ImageWindow* found = nullptr;
    for (ImageWindow* w : imageWindows()) {
        if (w->IDnumber == index)
            found = w;
    }
    if (found)
        found->close();
}

void Main::LayerPopUp_Change(int index)
{
    if (index < 0) // the pop-up was emptied
        return;
    m_layerMinus->setEnabled(index != 0);
    m_layerPlus->setEnabled(index != m_layerPopUp->count() - 1);
    m_selPlane = index + 1;
    SendUpdate();
}

void Main::LayerMinus_Action()
{
    const int index = m_layerPopUp->currentIndex();
    if (index > 0)
        m_layerPopUp->setCurrentIndex(index - 1);
}

void Main::LayerPlus_Action()
{
    const int index = m_layerPopUp->currentIndex();
    if (index < m_layerPopUp->count() - 1)
        m_layerPopUp->setCurrentIndex(index + 1);
}

void Main::stepLayer(int delta)
{
    if (delta < 0)
        LayerMinus_Action();
    else if (delta > 0)
        LayerPlus_Action();
}

void Main::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        stepLayer(event->key() == Qt::Key_PageDown ? 1 : -1);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Main::Details_Action(bool expanded)
{
    m_details->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_content->setFixedSize(contentWidth, expanded ? expandedHeight : collapsedHeight);
}

// ---- Closing ----

void Main::closeEvent(QCloseEvent* event)
{
    if (shared() == this)
        shared() = nullptr;
    m_file.close();
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
