#include "FrmNewPass.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vanta {

TFrmNewPass::TFrmNewPass(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Renew Password"));
  auto* root = new QVBoxLayout(this);
  auto* intro = new QLabel(tr("Das bisherige Passwort ist abgelaufen, bitte vergeben Sie ein neues Passwort."), this);
  intro->setWordWrap(true);
  root->addWidget(intro);
  auto* form = new QFormLayout();
  edtNew = new QLineEdit(this);
  edtNew->setEchoMode(QLineEdit::Password);
  edtConfirm = new QLineEdit(this);
  edtConfirm->setEchoMode(QLineEdit::Password);
  form->addRow(tr("Neues Passwort"), edtNew);
  form->addRow(tr("Passwort bestätigen"), edtConfirm);
  root->addLayout(form);
  auto* note = new QLabel(tr("Hinweis: Das neue Passwort muss sich in 5 Stellen zum alten Passwort unterscheiden. Zusätzlich ist die parametrierte Passwortrichtlinie zu beachten."),
                          this);
  note->setWordWrap(true);
  root->addWidget(note);
  lblError = new QLabel(this);
  lblError->setStyleSheet(QStringLiteral("color: #b00020;"));
  lblError->hide();
  root->addWidget(lblError);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  btnApply = new QPushButton(tr("Übernehmen"), this);
  btnCancel = new QPushButton(tr("Abbrechen"), this);
  btnApply->setDefault(true);
  buttons->addWidget(btnApply);
  buttons->addWidget(btnCancel);
  root->addLayout(buttons);
  connect(btnApply, &QPushButton::clicked, this, &TFrmNewPass::Apply);
  connect(edtConfirm, &QLineEdit::returnPressed, this, &TFrmNewPass::Apply);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmNewPass::Apply() {
  if (edtNew->text().isEmpty() || edtNew->text() != edtConfirm->text()) {
    lblError->setText(tr("Bitte Überprüfen Sie Ihre Eingabe!"));
    lblError->show();
    return;
  }
  FNewPassword = edtNew->text();
  accept();
}

}  // namespace vanta
