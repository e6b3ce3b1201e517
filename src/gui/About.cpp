#include "About.h"

#include "GuiFont.h"
#include "QuorvelVersion.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QtGlobal>

// The icon resource is compiled into this static library; naming it here links it in.
static void InitProgramIconResource() {
    Q_INIT_RESOURCE(quorvel);
}

namespace quorvel {

namespace {

QLabel* AddLabel(const char* name, const QString& text, QPoint pos, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(pos);
    label->adjustSize();
    return label;
}

QFrame* AddPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken); // lowered outer, raised inner line
    panel->setLineWidth(1);
    panel->setGeometry(5, 5, 366, 121);
    return panel;
}

void AddProgramIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(9, 8, 37, 38);
    icon->setScaledContents(true);
    icon->setPixmap(QPixmap(QStringLiteral(":/quorvel.png")));
}

void AddBevel(QWidget* parent) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel->setGeometry(10, 77, 346, 2);
}

} // namespace

TForm_AboutBox::TForm_AboutBox(QWidget* parent) : QDialog(parent) {
    InitProgramIconResource();
    setObjectName(QStringLiteral("Form_AboutBox"));
    setWindowTitle(QStringLiteral("Névjegy"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(ConsoleFont());
    setFixedSize(375, 170);

    QFrame* panel = AddPanel(this);
    AddProgramIcon(panel);
    QLabel* productName =
        AddLabel("ProductName", QStringLiteral("Quorvel Kelmar"), {55, 11}, panel);
    QFont bold = productName->font();
    bold.setBold(true);
    productName->setFont(bold);
    productName->adjustSize();
    AddLabel("Version", QStringLiteral("Verzió: " QUORVEL_VERSION_TEXT), {55, 28}, panel);
    AddBevel(panel);
    // The purpose sentence is wider than the panel in the window font: a condensed face one
    // pixel smaller keeps both lines whole.
    QFont narrow;
    narrow.setStretch(QFont::SemiCondensed);
    narrow.setPixelSize(10);
    const QString line1 = QStringLiteral(
        "Bemutató szoftver a Dravik Kft. által gyártott Kelmar típusú, 8.39-es vagy");
    const QString line2 =
        QStringLiteral("újabb szoftver verzióval rendelkező frekvenciaváltók távirányításához.");
    for (QLabel* label : {AddLabel("Label1", line1, {10, 85}, panel),
                          AddLabel("Label2", line2, {10, 100}, panel)}) {
        label->setFont(narrow);
        label->adjustSize();
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(150, 135, 75, 27);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace quorvel
