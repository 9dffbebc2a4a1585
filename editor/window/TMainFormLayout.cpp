// The window's layout: the commands with their shortcuts, the three pages
// and the property pages with their controls, each connected to its handler.

#include "editor/window/TMainForm.h"

#include "app/gui/ShiftJisText.h"
#include "app/gui/UiFonts.h"
#include "app/widgets/TTintelColorComboBox.h"
#include "editor/model/MainUnit.h"
#include "editor/window/ElementListModel.h"
#include "editor/window/TStagePaintBox.h"
#include "platform/GlyphOutline.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

namespace {

// The faces the program names by default; they stand for installed faces
// through the font layer's substitution table.
const char* const DefaultFaces[] = {"ＭＳ ゴシック", "ＭＳ 明朝", "ＭＳ Ｐゴシック", "ＭＳ Ｐ明朝"};

// Rotation editors take degrees with one decimal; the stored tenths must fit
// an int32.
constexpr double MaxRotationDegrees = 214748364.0;

QLabel* makeLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QDoubleSpinBox* makeRotationEdit(const QString& name, QWidget* parent) {
    auto* ed = new QDoubleSpinBox(parent);
    ed->setObjectName(name);
    ed->setDecimals(1);
    ed->setSingleStep(10);
    ed->setRange(-MaxRotationDegrees, MaxRotationDegrees);
    ed->setValue(0);
    ed->setMinimumWidth(90);
    return ed;
}

QSpinBox* makeTimeEdit(const QString& name, QWidget* parent) {
    auto* ed = new QSpinBox(parent);
    ed->setObjectName(name);
    ed->setRange(INT_MIN, INT_MAX);
    ed->setSingleStep(1000);
    ed->setValue(0);
    ed->setMinimumWidth(90);
    return ed;
}

QSlider* makeTransparencyEdit(const QString& name, QWidget* parent) {
    auto* ed = new QSlider(Qt::Horizontal, parent);
    ed->setObjectName(name);
    ed->setRange(0, 100);
    ed->setTickInterval(10);
    ed->setTickPosition(QSlider::TicksBelow);
    ed->setValue(0);
    return ed;
}

QCheckBox* makeCheck(const QString& name, const QString& caption, bool on, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(on);
    return box;
}

TTintelColorComboBox* makeColorEdit(const QString& name, const QString& html, QWidget* parent) {
    auto* ed = new TTintelColorComboBox(parent);
    ed->setObjectName(name);
    ed->SetHTMLcolor(html);
    return ed;
}

QToolButton* makeCommandButton(const QString& name, QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

// A row of "label control [unit]" in a grid, at column `column`.
void addRow(QGridLayout* grid, int row, int column, const QString& label, QWidget* control,
            const QString& unit = {}) {
    QWidget* owner = grid->parentWidget();
    grid->addWidget(makeLabel(label, owner), row, column);
    if (unit.isEmpty()) {
        grid->addWidget(control, row, column + 1);
        return;
    }
    auto* box = new QHBoxLayout;
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(control, 1);
    box->addWidget(new QLabel(unit, owner));
    grid->addLayout(box, row, column + 1);
}

// The three property pages share their label columns, wide enough for the
// longest label plus a gap, so that a unit ("度") never runs into the next
// label ("時：") and the pages line up when switched.
void alignLabelColumns(QGridLayout* grid) {
    const QFontMetrics metrics(grid->parentWidget()->font());
    const int width = metrics.horizontalAdvance(QStringLiteral("テキスト：")) + 16;
    grid->setColumnMinimumWidth(0, width);
    grid->setColumnMinimumWidth(2, width);
}

} // namespace

void TMainForm::buildLayout() {
    auto makeAction = [this](const QString& name, const QString& text, QKeySequence key,
                             void (TMainForm::*handler)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(name);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    NewAction = makeAction("NewAction", "新", QKeySequence::New, &TMainForm::NewBtnClick);
    OpenAction = makeAction("OpenAction", "開く", QKeySequence::Open, &TMainForm::OpenBtnClick);
    SaveAction = makeAction("SaveAction", "保存", QKeySequence::Save, &TMainForm::SaveBtnClick);
    SaveAsAction =
        makeAction("SaveAsAction", "名前をつけて保存。。。",
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TMainForm::SaveAsBtnClick);
    PlayAction =
        makeAction("PlayAction", "プレー", QKeySequence(Qt::Key_F5), &TMainForm::PlayBtnClick);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(4, 2, 4, 4);
    root->setSpacing(2);

    auto* toolBar = new QHBoxLayout;
    toolBar->setSpacing(0);
    NewBtn = makeCommandButton("NewBtn", NewAction, this);
    OpenBtn = makeCommandButton("OpenBtn", OpenAction, this);
    SaveBtn = makeCommandButton("SaveBtn", SaveAction, this);
    SaveAsBtn = makeCommandButton("SaveAsBtn", SaveAsAction, this);
    for (QToolButton* b : {NewBtn, OpenBtn, SaveBtn, SaveAsBtn}) {
        b->setAutoRaise(true);
        toolBar->addWidget(b);
    }
    toolBar->addStretch();
    root->addLayout(toolBar);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    TabSheet1 = buildElementsPage();
    TabSheet2 = buildSettingsPage();
    TabSheet3 = buildMoviePage();
    PageControl1->addTab(TabSheet1, QStringLiteral("要素を変わる"));
    PageControl1->addTab(TabSheet2, QStringLiteral("設定"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Ｆｌａｓｈを保存。。。"));
    root->addWidget(PageControl1, 1);

    auto* bottom = new QHBoxLayout;
    wwwBtn = new QPushButton(QString::fromUtf8(MakerWebAddress), this);
    wwwBtn->setObjectName("wwwBtn");
    wwwBtn->setFlat(true);
    wwwBtn->setCursor(Qt::PointingHandCursor);
    wwwBtn->setToolTip(QString::fromUtf8(MakerWebAddress));
    connect(wwwBtn, &QPushButton::clicked, this, [this] { wwwBtnClick(); });
    StatusLine = new QLabel(this);
    StatusLine->setObjectName("StatusLine");
    StatusLine->setStyleSheet(QStringLiteral("color: #B00000;"));
    // A long message is cut at the window's edge (its tooltip holds all of
    // it) instead of widening the window.
    StatusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    MousePosLabel = new QLabel(this);
    MousePosLabel->setObjectName("MousePosLabel");
    MousePosLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MousePosLabel->setMinimumWidth(
        QFontMetrics(MousePosLabel->font()).horizontalAdvance(QStringLiteral("X: 0000  Y: 0000")));
    BitBtn1 = new QPushButton(QStringLiteral("について"), this);
    BitBtn1->setObjectName("BitBtn1");
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    bottom->addWidget(wwwBtn);
    bottom->addWidget(StatusLine, 1);
    bottom->addWidget(MousePosLabel);
    bottom->addSpacing(8);
    bottom->addWidget(BitBtn1);
    root->addLayout(bottom);

    NeuObjektMenu = new QMenu(this);
    NeuObjektMenu->setObjectName("NeuObjektMenu");
    AddTextObjekt = NeuObjektMenu->addAction(QStringLiteral("テキスト"));
    AddTextObjekt->setObjectName("AddTextObjekt");
    VektorObjekt1 = NeuObjektMenu->addAction(QStringLiteral("描画オブジェクト"));
    VektorObjekt1->setObjectName("VektorObjekt1");
    Bild1 = NeuObjektMenu->addAction(QStringLiteral("ピクチャ"));
    Bild1->setObjectName("Bild1");
    connect(AddTextObjekt, &QAction::triggered, this, [this] { AddTextObjektClick(); });
    connect(VektorObjekt1, &QAction::triggered, this, [this] { VektorObjekt1Click(); });
    connect(Bild1, &QAction::triggered, this, [this] { Bild1Click(); });
    setupEditing(toolBar);
}

QWidget* TMainForm::buildElementsPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet1");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto* header = new QLabel(QStringLiteral("要素を変わる"), page);
    QFont headerFont = header->font();
    headerFont.setBold(true);
    header->setFont(headerFont);
    layout->addWidget(header);

    auto* columns = new QHBoxLayout;
    layout->addLayout(columns, 1);

    // Left: the element list with its buttons.
    auto* left = new QVBoxLayout;
    NewObjBtn = new QPushButton(QStringLiteral("要素を追加..."), page);
    NewObjBtn->setObjectName("NewObjBtn");
    connect(NewObjBtn, &QPushButton::clicked, this, [this] { NewObjBtnClick(); });
    left->addWidget(NewObjBtn);
    auto* listRow = new QHBoxLayout;
    ListModel = new ElementListModel(this);
    ListView1 = new QTableView(page);
    ListView1->setObjectName("ListView1");
    ListView1->setModel(ListModel);
    ListView1->setFont(UiFont(QStringLiteral("ＭＳ 明朝"), 12));
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setShowGrid(true);
    ListView1->setWordWrap(false);
    ListView1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListView1->verticalHeader()->setDefaultSectionSize(QFontMetrics(ListView1->font()).height() +
                                                       4);
    ListView1->horizontalHeader()->setHighlightSections(false);
    // The one column takes the list's whole width; a caption too long for it
    // loses its middle, so that "スタート" and "終わり" stay in sight (the
    // tooltip shows all of it).
    ListView1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView1->setFixedWidth(224);
    connect(ListView1, &QTableView::clicked, this, [this] { ListView1Click(); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ListView1Change(); });
    listRow->addWidget(ListView1, 1);
    auto* listButtons = new QVBoxLayout;
    auto makeSmall = [page, listButtons](const char* name, const QString& glyph,
                                         const QString& hint) {
        auto* b = new QToolButton(page);
        b->setObjectName(name);
        b->setText(glyph);
        b->setToolTip(hint);
        b->setFixedSize(24, 24);
        listButtons->addWidget(b);
        return b;
    };
    DellObBtn = makeSmall("DellObBtn", QStringLiteral("×"), QStringLiteral("削除"));
    MoveUpBtn = makeSmall("MoveUpBtn", QStringLiteral("▲"), QStringLiteral("上へ移動"));
    MoveDownBtn = makeSmall("MoveDownBtn", QStringLiteral("▼"), QStringLiteral("下へ移動"));
    listButtons->addStretch();
    connect(DellObBtn, &QToolButton::clicked, this, [this] { DellObBtnClick(); });
    connect(MoveUpBtn, &QToolButton::clicked, this, [this] { MoveUpBtnClick(); });
    connect(MoveDownBtn, &QToolButton::clicked, this, [this] { MoveDownBtnClick(); });
    listRow->addLayout(listButtons);
    left->addLayout(listRow, 1);

    // Under the list: the selected state's rectangle in stage pixels.
    auto* rectGrid = new QGridLayout;
    rectGrid->setHorizontalSpacing(4);
    auto makeRectEdit = [this, page](const char* name) {
        auto* ed = new QSpinBox(page);
        ed->setObjectName(name);
        // Far beyond any stage; the drag rules keep what is written reachable.
        ed->setRange(-1000000, 1000000);
        // One write per entered value, not per typed digit.
        ed->setKeyboardTracking(false);
        ed->setEnabled(false);
        connect(ed, &QSpinBox::valueChanged, this, [this, ed] { RectEdChange(ed); });
        return ed;
    };
    RectXEd = makeRectEdit("RectXEd");
    RectYEd = makeRectEdit("RectYEd");
    RectWidthEd = makeRectEdit("RectWidthEd");
    RectHeightEd = makeRectEdit("RectHeightEd");
    rectGrid->addWidget(makeLabel(QStringLiteral("X"), page), 0, 0);
    rectGrid->addWidget(RectXEd, 0, 1);
    rectGrid->addWidget(makeLabel(QStringLiteral("Y"), page), 0, 2);
    rectGrid->addWidget(RectYEd, 0, 3);
    rectGrid->addWidget(makeLabel(QStringLiteral("幅"), page), 1, 0);
    rectGrid->addWidget(RectWidthEd, 1, 1);
    rectGrid->addWidget(makeLabel(QStringLiteral("高さ"), page), 1, 2);
    rectGrid->addWidget(RectHeightEd, 1, 3);
    rectGrid->setColumnStretch(1, 1);
    rectGrid->setColumnStretch(3, 1);
    left->addLayout(rectGrid);
    columns->addLayout(left);

    // Right: the stage with its options above and the property pages below.
    auto* right = new QVBoxLayout;
    auto* options = new QHBoxLayout;
    PlayBtn = makeCommandButton("PlayBtn", PlayAction, page);
    PlayBtn->setMinimumWidth(70);
    OnlyActualCheck =
        makeCheck("OnlyActualCheck", QStringLiteral("当面の要素しか示さない"), false, page);
    NoArrowsCheck = makeCheck("NoArrowsCheck", QStringLiteral("ラインを示さない"), false, page);
    connect(OnlyActualCheck, &QCheckBox::clicked, this, [this] { OnlyActualCheckClick(); });
    connect(NoArrowsCheck, &QCheckBox::clicked, this, [this] { NoArrowsCheckClick(); });
    options->addWidget(PlayBtn);
    options->addSpacing(8);
    options->addWidget(OnlyActualCheck);
    options->addWidget(NoArrowsCheck);
    options->addStretch();
    right->addLayout(options);

    ScrollBox1 = new QScrollArea(page);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setBackgroundRole(QPalette::Dark); // the work-space colour
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PaintBox1 = new TStagePaintBox(*this);
    PaintBox1->setObjectName("PaintBox1");
    ScrollBox1->setWidget(PaintBox1);
    UpdateStageSize();
    right->addWidget(ScrollBox1, 1);

    // Under the stage: the time slider, at rest at "編集" (the editing view);
    // elsewhere the stage shows the movie's frame at that time.
    auto* timeRow = new QHBoxLayout;
    EditViewBtn = new QToolButton(page);
    EditViewBtn->setObjectName("EditViewBtn");
    EditViewBtn->setText(QStringLiteral("編集"));
    EditViewBtn->setAutoRaise(true);
    EditViewBtn->setToolTip(QStringLiteral("編集の表示に戻る"));
    EditViewBtn->setCheckable(true);
    EditViewBtn->setChecked(true);
    connect(EditViewBtn, &QToolButton::clicked, this, [this] { showEditingView(); });
    TimeSlider = new QSlider(Qt::Horizontal, page);
    TimeSlider->setObjectName("TimeSlider");
    TimeSlider->setRange(-1, 0);
    TimeSlider->setValue(-1);
    TimeSlider->setToolTip(QStringLiteral("ムービーのこの時の絵を示す"));
    connect(TimeSlider, &QSlider::valueChanged, this, [this] { TimeSliderChange(); });
    TimeLabel = new QLabel(page);
    TimeLabel->setObjectName("TimeLabel");
    TimeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TimeLabel->setMinimumWidth(
        QFontMetrics(TimeLabel->font()).horizontalAdvance(QStringLiteral("000000 ミリ秒")));
    timeRow->addWidget(EditViewBtn);
    timeRow->addWidget(TimeSlider, 1);
    timeRow->addWidget(TimeLabel);
    right->addLayout(timeRow);

    PageControl2 = new QTabWidget(page);
    PageControl2->setObjectName("PageControl2");
    TabSheet4 = buildTextPage();
    TabSheet5 = buildDrawingPage();
    TabSheet6 = buildPicturePage();
    PageControl2->addTab(TabSheet4, QStringLiteral("テキスト"));
    PageControl2->addTab(TabSheet5, QStringLiteral("描画オブジェクト"));
    PageControl2->addTab(TabSheet6, QStringLiteral("ピクチャ"));
    setPagesEnabled(nullptr); // no row is selected yet
    PageControl2->setCurrentWidget(TabSheet4);
    right->addWidget(PageControl2);
    columns->addLayout(right, 1);
    return page;
}

QWidget* TMainForm::buildTextPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet4");
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(3);
    TextEd = new QLineEdit(page);
    TextEd->setObjectName("TextEd");
    FontEd = new QComboBox(page);
    FontEd->setObjectName("FontEd");
    FontEd->setMinimumWidth(140);
    FontEd->setMaxVisibleItems(20);
    fillFontList();
    TFarbeEd = makeColorEdit("TFarbeEd", QStringLiteral("#000000"), page);
    FontSize = new QComboBox(page);
    FontSize->setObjectName("FontSize");
    FontSize->setEditable(true);
    FontSize->setInsertPolicy(QComboBox::NoInsert);
    for (int size : {6,  7,  8,  9,  10, 11, 12, 14,  16,  18,  20,  24,
                     28, 30, 36, 48, 64, 72, 96, 120, 144, 192, 256, 512})
        FontSize->addItem(QString::number(size));
    FontSize->setEditText(QStringLiteral("12"));
    RotEd = makeRotationEdit("RotEd", page);
    TimeEd = makeTimeEdit("TimeEd", page);
    TransEd = makeTransparencyEdit("TransEd", page);
    DelObCheck = makeCheck("DelObCheck", QStringLiteral("終わり後要素を削除"), true, page);

    addRow(grid, 0, 0, QStringLiteral("テキスト："), TextEd);
    addRow(grid, 0, 2, QStringLiteral("フォント："), FontEd);
    addRow(grid, 1, 0, QStringLiteral("色："), TFarbeEd);
    addRow(grid, 1, 2, QStringLiteral("サイズ："), FontSize);
    addRow(grid, 2, 0, QStringLiteral("回転："), RotEd, QStringLiteral("度"));
    addRow(grid, 2, 2, QStringLiteral("時："), TimeEd, QStringLiteral("ミリ秒"));
    addRow(grid, 3, 0, QStringLiteral("透明："), TransEd);
    grid->addWidget(DelObCheck, 3, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    alignLabelColumns(grid);

    connect(TextEd, &QLineEdit::textChanged, this, [this] { TextEdChange(); });
    connect(FontEd, &QComboBox::currentIndexChanged, this, [this] { FontEdChange(); });
    connect(TFarbeEd, &TTintelColorComboBox::OnChange, this, [this] { TFarbeEdChange(); });
    connect(FontSize, &QComboBox::editTextChanged, this, [this] { FontSizeChange(); });
    connect(RotEd, &QDoubleSpinBox::valueChanged, this, [this] { RotEdChange(); });
    connect(TimeEd, &QSpinBox::valueChanged, this, [this] { TimeEdChange(); });
    connect(TransEd, &QSlider::valueChanged, this, [this] { TransEdChange(); });
    connect(DelObCheck, &QCheckBox::toggled, this, [this] { DelObCheckClick(); });
    return page;
}

QWidget* TMainForm::buildDrawingPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet5");
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(3);
    ObjectKindBox = new QComboBox(page);
    ObjectKindBox->setObjectName("ObjectKindBox");
    ObjectKindBox->addItems({QStringLiteral("長方形"), QStringLiteral("長円")});
    TFarbeEd2 = makeColorEdit("TFarbeEd2", QStringLiteral("#000000"), page);
    TransEd2 = makeTransparencyEdit("TransEd2", page);
    RotEd2 = makeRotationEdit("RotEd2", page);
    TimeEd2 = makeTimeEdit("TimeEd2", page);
    DelObCheck2 = makeCheck("DelObCheck2", QStringLiteral("終わり後要素を削除"), true, page);

    addRow(grid, 0, 0, QStringLiteral("種類："), ObjectKindBox);
    addRow(grid, 0, 2, QStringLiteral("色："), TFarbeEd2);
    addRow(grid, 1, 0, QStringLiteral("透明："), TransEd2);
    addRow(grid, 1, 2, QStringLiteral("回転："), RotEd2, QStringLiteral("度"));
    addRow(grid, 2, 0, QStringLiteral("時："), TimeEd2, QStringLiteral("ミリ秒"));
    grid->addWidget(DelObCheck2, 2, 3);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    alignLabelColumns(grid);

    connect(ObjectKindBox, &QComboBox::currentIndexChanged, this,
            [this] { ObjectKindBoxChange(); });
    connect(TFarbeEd2, &TTintelColorComboBox::OnChange, this, [this] { TFarbeEd2Change(); });
    connect(TransEd2, &QSlider::valueChanged, this, [this] { TransEd2Change(); });
    connect(RotEd2, &QDoubleSpinBox::valueChanged, this, [this] { RotEd2Change(); });
    connect(TimeEd2, &QSpinBox::valueChanged, this, [this] { TimeEd2Change(); });
    connect(DelObCheck2, &QCheckBox::toggled, this, [this] { DelObCheck2Click(); });
    return page;
}

QWidget* TMainForm::buildPicturePage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet6");
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(3);
    RotEd3 = makeRotationEdit("RotEd3", page);
    TimeEd3 = makeTimeEdit("TimeEd3", page);
    DelObCheck3 = makeCheck("DelObCheck3", QStringLiteral("終わり後要素を削除"), true, page);
    addRow(grid, 0, 0, QStringLiteral("回転："), RotEd3, QStringLiteral("度"));
    addRow(grid, 0, 2, QStringLiteral("時："), TimeEd3, QStringLiteral("ミリ秒"));
    grid->addWidget(DelObCheck3, 1, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    alignLabelColumns(grid);

    connect(RotEd3, &QDoubleSpinBox::valueChanged, this, [this] { RotEd3Change(); });
    connect(TimeEd3, &QSpinBox::valueChanged, this, [this] { TimeEd3Change(); });
    connect(DelObCheck3, &QCheckBox::toggled, this, [this] { DelObCheck3Click(); });
    return page;
}

QWidget* TMainForm::buildSettingsPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet2");
    auto* layout = new QVBoxLayout(page);
    auto* header = new QLabel(QStringLiteral("Ｆｌａｓｈの設定"), page);
    QFont headerFont = header->font();
    headerFont.setBold(true);
    header->setFont(headerFont);
    layout->addWidget(header);
    auto* grid = new QGridLayout;
    auto makeSize = [page](const char* name, int lo, int hi, int value) {
        auto* ed = new QSpinBox(page);
        ed->setObjectName(name);
        ed->setRange(lo, hi);
        ed->setValue(value);
        ed->setMinimumWidth(90);
        return ed;
    };
    WidthEd = makeSize("WidthEd", StageSettings::MinSize, StageSettings::MaxSize, Stage.width());
    HeightEd = makeSize("HeightEd", StageSettings::MinSize, StageSettings::MaxSize, Stage.height());
    BpSEd =
        makeSize("BpSEd", StageSettings::MinFps, StageSettings::MaxFps, Stage.framesPerSecond());
    ColorEd = makeColorEdit("ColorEd", QStringLiteral("#FFFFFF"), page);
    ColorEd->setMinimumWidth(150); // room for its longest colour name
    grid->addWidget(makeLabel(QStringLiteral("幅："), page), 0, 0);
    grid->addWidget(WidthEd, 0, 1);
    grid->addWidget(makeLabel(QStringLiteral("高さ："), page), 1, 0);
    grid->addWidget(HeightEd, 1, 1);
    grid->addWidget(makeLabel(QStringLiteral("ｆｐｓ："), page), 2, 0);
    grid->addWidget(BpSEd, 2, 1);
    grid->addWidget(makeLabel(QStringLiteral("背景の色："), page), 3, 0);
    grid->addWidget(ColorEd, 3, 1);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    layout->addStretch();

    // The settings live in Stage; the controls show them and change them
    // through the history (a value equal to the setting changes nothing).
    // Each change drops the movie the time slider shows.
    connect(WidthEd, &QSpinBox::valueChanged, this, [this](int v) {
        StageSettings s = Stage;
        s.setWidth(v);
        m_history->setSettings(s, HistoryMerge::StageWidth);
        UpdateStageSize();
        noteProjectChange();
    });
    connect(HeightEd, &QSpinBox::valueChanged, this, [this](int v) {
        StageSettings s = Stage;
        s.setHeight(v);
        m_history->setSettings(s, HistoryMerge::StageHeight);
        UpdateStageSize();
        noteProjectChange();
    });
    connect(BpSEd, &QSpinBox::valueChanged, this, [this](int v) {
        StageSettings s = Stage;
        s.setFramesPerSecond(v);
        m_history->setSettings(s, HistoryMerge::StageFps);
        noteProjectChange();
    });
    connect(ColorEd, &TTintelColorComboBox::OnChange, this, [this] {
        StageSettings s = Stage;
        s.setBackgroundColor(ColorEd->ColorValue());
        m_history->setSettings(s);
        noteProjectChange();
    });
    return page;
}

QWidget* TMainForm::buildMoviePage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet3");
    auto* layout = new QVBoxLayout(page);
    CreateFlashBtn = new QPushButton(QStringLiteral("Ｆｌａｓｈを保存。。。"), page);
    CreateFlashBtn->setObjectName("CreateFlashBtn");
    connect(CreateFlashBtn, &QPushButton::clicked, this, [this] { CreateFlashBtnClick(); });
    auto* top = new QHBoxLayout;
    top->addWidget(CreateFlashBtn);
    top->addStretch();
    layout->addLayout(top);
    AutoLoadFlashCheck =
        makeCheck("AutoLoadFlashCheck", QStringLiteral("保存後Ｆｌａｓｈファイルを表示"),
                  Stage.showAfterSaving(), page);
    CreateHTMLCheck = makeCheck("CreateHTMLCheck", QStringLiteral("ＨＴＭＬファイルを保存"),
                                Stage.createHtml(), page);
    RepeatCheck = makeCheck("RepeatCheck", QStringLiteral("終わり後Ｆｌａｓｈを繰り返す"),
                            Stage.repeat(), page);
    layout->addWidget(AutoLoadFlashCheck);
    layout->addWidget(CreateHTMLCheck);
    layout->addWidget(RepeatCheck);
    layout->addWidget(new QLabel(QStringLiteral("ＨＴＭＬソース："), page));
    Memo1 = new QPlainTextEdit(page);
    Memo1->setObjectName("Memo1");
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(Memo1, 1);

    connect(AutoLoadFlashCheck, &QCheckBox::toggled, this,
            [](bool on) { Stage.setShowAfterSaving(on); });
    connect(CreateHTMLCheck, &QCheckBox::toggled, this, [](bool on) { Stage.setCreateHtml(on); });
    connect(RepeatCheck, &QCheckBox::toggled, this, [this](bool on) {
        StageSettings s = Stage;
        s.setRepeat(on);
        m_history->setSettings(s);
    });
    return page;
}

void TMainForm::fillFontList() {
    // Installed faces whose names Shift-JIS can hold within the 31 bytes of a
    // face name, and the program's default faces that the font layer maps.
    static const QStringList faces = [] {
        QStringList list;
        for (const char* face : DefaultFaces)
            if (!platform::SubstituteFamily(face).empty()) list << QString::fromUtf8(face);
        for (const QString& family : FamiliesWithoutFoundries(QFontDatabase::families())) {
            const auto cp932 = ToCp932(family);
            if (cp932 && !cp932->empty() && cp932->size() <= platform::kMaxFaceNameBytes &&
                !list.contains(family))
                list << family;
        }
        return list;
    }();
    FontEd->addItems(faces);
}
