// The one-line input dialog.
#include "transfer/input.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace {
TInputForm* s_instance = nullptr;
}

void CentreOverOwner(QWidget* dialog, QWidget* owner)
{
    QRect area;
    if (owner && owner->isVisible()) {
        area = owner->frameGeometry();
        dialog->winId();
        if (dialog->windowHandle() && owner->window()->windowHandle())
            dialog->windowHandle()->setTransientParent(owner->window()->windowHandle());
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid())
        dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

TInputForm::TInputForm(QWidget* owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_owner(owner)
{
    setObjectName(QStringLiteral("InputForm"));
    setWindowTitle(QStringLiteral("Input:"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(396, 113);

    Label1 = new QLabel(QStringLiteral("Label"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(32, 24);
    Label1->adjustSize();
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(32, 40, 337, 21);
    BitBtn1 = new QPushButton(QStringLiteral("O&k"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(88, 80, 89, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("&Avbryt"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(216, 80, 89, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    s_instance = this;
}

TInputForm::~TInputForm()
{
    if (s_instance == this)
        s_instance = nullptr;
}

TInputForm* TInputForm::instance() { return s_instance; }

void TInputForm::FormShow()
{
    Label1->adjustSize();
    Edit1->setFocus(Qt::OtherFocusReason);
    Edit1->selectAll();
}

void TInputForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOverOwner(this, m_owner);
    FormShow();
}
