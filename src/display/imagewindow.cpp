#include "display/imagewindow.h"

#include "app/dialogs.h"
#include "app/globals.h"
#include "app/menu.h"
#include "app/msgbox.h"
#include "app/systemfont.h"
#include "app/textlistwindow.h"
#include "app/textnumber.h"
#include "colour/colorselector.h"
#include "display/canvas.h"
#include "display/displaypictures.h"
#include "mainwindow/mainwindow.h"

#include <QCloseEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int designedWidth = 377;
constexpr int designedHeight = 315;
constexpr int controlHeight = 15;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int w)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setFont(systemFont(9));
    b->setFocusPolicy(Qt::NoFocus);
    // A bevel button of the row: flat, its caption filling the 15-pixel height.
    b->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; border: 1px solid #8c8c8c; "
                                    "background: #ececec; } "
                                    "QPushButton:pressed { background: #c8c8c8; }"));
    b->setGeometry(x, 0, w, controlHeight);
    return b;
}

QLineEdit* makeField(QWidget* parent, const char* name, int x)
{
    auto* f = new QLineEdit(parent);
    f->setObjectName(QLatin1String(name));
    f->setFont(systemFont(9));
    f->setStyleSheet(QStringLiteral("QLineEdit { padding: 0px; border: 1px solid #8c8c8c; }"));
    f->setGeometry(x, 0, 60, controlHeight);
    return f;
}

} // namespace

ImageWindow::ImageWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    Menu::instance().attachTo(menuBar());
    Layout();
    AddMenuHandlers();
    Event_Open();
}

void ImageWindow::Layout()
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

    m_linLogButton = makeButton(m_content, "LinLogButton", QStringLiteral("Lin Scale"), 0, 62);
    m_minButton = makeButton(m_content, "MinButton", QStringLiteral("Auto Min:"), 62, 60);
    m_minValueField = makeField(m_content, "MinValueField", 122);
    m_maxButton = makeButton(m_content, "MaxButton", QStringLiteral("Auto Max:"), 182, 60);
    m_maxValueField = makeField(m_content, "MaxValueField", 242);
    m_colorButton = makeButton(m_content, "ColorButton", QStringLiteral("Color T:"), 302, 75);

    m_imageCanvas = new Canvas(m_content);
    m_imageCanvas->setObjectName(QStringLiteral("ImageCanvas"));
    m_imageCanvas->setGeometry(20, 27, 258, 258);
    m_colorBarCanvas = new Canvas(m_content);
    m_colorBarCanvas->setObjectName(QStringLiteral("ColorBarCanvas"));
    m_colorBarCanvas->setCursor(Qt::PointingHandCursor);
    m_scaleCanvas = new Canvas(m_content);
    m_scaleCanvas->setObjectName(QStringLiteral("ScaleCanvas"));
    setContentSize(designedWidth, designedHeight);

    connect(m_linLogButton, &QPushButton::clicked, this, &ImageWindow::LinLogButton_Action);
    connect(m_minButton, &QPushButton::clicked, this, &ImageWindow::MinButton_Action);
    connect(m_maxButton, &QPushButton::clicked, this, &ImageWindow::MaxButton_Action);
    connect(m_minValueField, &QLineEdit::textChanged, this, &ImageWindow::MinValueField_TextChange);
    connect(m_maxValueField, &QLineEdit::textChanged, this, &ImageWindow::MaxValueField_TextChange);
    connect(m_colorButton, &QPushButton::clicked, this, &ImageWindow::ColorButton_Action);
    connect(m_colorBarCanvas, &Canvas::pressed, this, &ImageWindow::ColorButton_Action);
}

void ImageWindow::AddMenuHandlers()
{
    addMenuHandler(QStringLiteral("Windowx256"), [this] { return _Windowx256_Action(); });
    addMenuHandler(QStringLiteral("Windowx512"), [this] { return _Windowx512_Action(); });
    addMenuHandler(QStringLiteral("FileSaveImage"), [this] { return _FileSaveImage_Action(); });
}

void ImageWindow::Event_Open()
{
    IDnumber = Globals::AssignID;
    move(Globals::ImageLeft[IDnumber], Globals::ImageTop[IDnumber]);
    if (Main* main = Main::existing())
        main->show();
    m_model = ImageModel{};
    m_model.IDnumber = IDnumber;
    m_colorButton->setText(colorButtonCaption(m_model.MyLUTnumber));
    m_linLogButton->setText(QStringLiteral("Lin Scale"));
    LoadNewImage();
    m_content->setFocus();
}

QSize ImageWindow::contentSize() const
{
    return m_content->size();
}

void ImageWindow::setContentSize(int width, int height)
{
    m_content->setFixedSize(width, height);
    // The colour bar keeps to the right edge and the scale bar to the bottom edge.
    m_colorBarCanvas->setGeometry(width - 82, 27, 80, kColorBarCanvasHeight);
    m_scaleCanvas->setGeometry(20, height - 30, 258, 28);
}

void ImageWindow::LoadNewImage()
{
    Main* main = Main::existing();
    if (!main)
        return;
    const ImHeader& header = main->header();
    if (IDnumber >= header.shownSpecies()) {
        close();
        return;
    }
    // After a cancelled or refused open the stream is closed: the window keeps showing the
    // layer it has, under the title that names it.
    const ImFile& file = main->file();
    if (!file.isOpen())
        return;
    const int side = Globals::PSize;
    if (side <= 0)
        return;

    setContentSize(side + 121, side + 59);
    m_imageCanvas->resize(side + 2, side + 2);
    setWindowTitle(header.Species[IDnumber] + QStringLiteral(" (Layer ") + Str(main->SelPlane()) +
                   QLatin1Char(')'));

    if (!loadIntoModel(m_model, *file.stream(), header, side, IDnumber + 1, main->SelPlane(),
                       m_minValueField->text(), m_maxValueField->text())) {
        MsgBox(QStringLiteral("There is not enough memory to show this layer."));
        return;
    }
    m_loading = true;
    if (m_model.AutoMax)
        m_maxValueField->setText(Str(m_model.ColorMaxValue));
    if (m_model.AutoMin)
        m_minValueField->setText(Str(m_model.ColorMinValue));
    m_loading = false;
    TextListWindow::Add(QStringLiteral("LoadNewImage calls Update Display"));
    UpdateDisplay();
}

void ImageWindow::UpdateDisplay()
{
    // A window opened while the file was closed holds no plane: a range typed into it must not
    // draw an empty frame, nor complain about a scale bar for no image.
    if (m_model.ImArray.side <= 0)
        return;
    const Main* main = Main::existing();
    const double micronSize = main ? main->header().micronSize : 0;
    const std::optional<DisplayPictures> pictures = displayPictures(m_model, micronSize);
    if (!pictures)
        return;
    TextListWindow::Add(QStringLiteral("Update Display called"));
    m_imageCanvas->setBackdrop(pictures->image);
    m_colorBarCanvas->setBackdrop(pictures->colorBar);
    m_scaleCanvas->setBackdrop(pictures->scale);
    if (!pictures->scaleProblem.isEmpty() && !m_scaleProblemShown) {
        m_scaleProblemShown = true;
        MsgBox(pictures->scaleProblem);
    }
}

void ImageWindow::SetColors(int table, QRgb high, QRgb low)
{
    if (!::SetColors(m_model, table, high, low))
        return;
    m_colorButton->setText(colorButtonCaption(table));
    UpdateDisplay();
}

void ImageWindow::LinLogButton_Action()
{
    m_model.LogScale = !m_model.LogScale;
    m_linLogButton->setText(m_model.LogScale ? QStringLiteral("Log Scale")
                                             : QStringLiteral("Lin Scale"));
    UpdateDisplay();
}

void ImageWindow::MinButton_Action()
{
    toggleLimit(m_model.AutoMin, m_model.ColorMinValue, m_model.ImArrayMin, m_minButton,
                m_minValueField, QStringLiteral("Auto Min:"), QStringLiteral("Man Min:"));
}

void ImageWindow::MaxButton_Action()
{
    toggleLimit(m_model.AutoMax, m_model.ColorMaxValue, m_model.ImArrayMax, m_maxButton,
                m_maxValueField, QStringLiteral("Auto Max:"), QStringLiteral("Man Max:"));
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
        field->setText(Str(limit));
    } else {
        button->setText(manualCaption);
    }
}

void ImageWindow::MinValueField_TextChange(const QString& text)
{
    limitTextChanged(text, m_model.AutoMin, m_model.ColorMinValue, m_minButton,
                     QStringLiteral("Man Min:"),
                     QStringLiteral("Min TextChange calls Update Display"));
}

void ImageWindow::MaxValueField_TextChange(const QString& text)
{
    limitTextChanged(text, m_model.AutoMax, m_model.ColorMaxValue, m_maxButton,
                     QStringLiteral("Man Max:"),
                     QStringLiteral("Max TextChange calls Update Display"));
}

void ImageWindow::limitTextChanged(const QString& text, bool& automatic, double& limit,
                                   QPushButton* button, const QString& manualCaption,
                                   const QString& historyLine)
{
    if (!automatic) {
        limit = Val(text);
    } else if (Str(limit) != text) {
        // Typed by the user: the limit becomes manual. A text the program wrote equals the
        // limit it set just before.
        automatic = false;
        button->setText(manualCaption);
        limit = Val(text);
    }
    TextListWindow::Add(historyLine);
    if (!m_loading)
        UpdateDisplay();
}

void ImageWindow::ColorButton_Action()
{
    ColorSelector* selector = ColorSelector::instance();
    selector->SetAll(IDnumber, m_model.MyLUT[255], m_model.MyLUT[0], m_model.MyLUTnumber);
    selector->show();
    selector->raise();
    selector->activateWindow();
}

bool ImageWindow::_Windowx256_Action()
{
    setContentSize(256, 256);
    return false;
}

bool ImageWindow::_Windowx512_Action()
{
    setContentSize(512, 512);
    return false;
}

bool ImageWindow::_FileSaveImage_Action()
{
    if (m_imageCanvas->hasBackdrop())
        Dialogs::exportPicture(this, m_imageCanvas->backdrop());
    return false;
}

void ImageWindow::keyPressEvent(QKeyEvent* event)
{
    Main* main = Main::existing();
    if (main && (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown)) {
        main->stepLayer(event->key() == Qt::Key_PageDown ? 1 : -1);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void ImageWindow::closeEvent(QCloseEvent* event)
{
    if (Main* main = Main::existing(); main && IDnumber < 8)
        main->ButtonSpecies(IDnumber)->setChecked(false);
    Globals::ImageTop[IDnumber] = y();
    Globals::ImageLeft[IDnumber] = x();
    QMainWindow::closeEvent(event);
}
