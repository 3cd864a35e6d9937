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
  auto* intro = new QLabel(QStringLiteral("Das bisherige Passwort ist abgelaufen, bitte vergeben Sie ein neues Passwort."), this);
  intro->setWordWrap(true);
  root->addWidget(intro);
  auto* form = new QFormLayout();
  edtNew = new QLineEdit(this);
  edtNew->setEchoMode(QLineEdit::Password);
  edtConfirm = new QLineEdit(this);
  edtConfirm->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("Neues Passwort"), edtNew);
  form->addRow(QStringLiteral("Passwort bestätigen"), edtConfirm);
  root->addLayout(form);
  auto* note = new QLabel(QStringLiteral("Hinweis: Das neue Passwort muss sich in 5 Stellen zum alten Passwort unterscheiden. "
                                         "Zusätzlich ist die parametrierte Passwortrichtlinie zu beachten."),
                          this);
  note->setWordWrap(true);
  root->addWidget(note);
  lblError = new QLabel(this);
  lblError->setStyleSheet(QStringLiteral("color: #b00020;"));
  lblError->hide();
  root->addWidget(lblError);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  btnApply = new QPushButton(QStringLiteral("Übernehmen"), this);
  btnCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
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
    lblError->setText(QStringLiteral("Bitte Überprüfen Sie Ihre Eingabe!"));
    lblError->show();
    return;
  }
  FNewPassword = edtNew->text();
  accept();
}

}  // namespace vanta
