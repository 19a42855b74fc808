#pragma once

#include "Command.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// The parameters whose values are secrets (the API password, a player's password or its hash, a
// login key): the history keeps them emptied and a copied command line takes them from the shell.

// The names of ACommand's parameters the catalogue marks secret, Password among them.
QStringList SecretNames(const TCommand& ACommand);

// Whether AName is one of ASecretNames, ignoring case as the command line does.
bool IsSecretName(const QStringList& ASecretNames, QStringView AName);

// The shell variable a copied command line takes a secret's value from: "VL_" and the name in
// capitals (VL_PASSWORD, VL_PW, VL_PWHASH).
QString SecretVariable(QStringView AName);

// ALines ("name=value") with the value of every line that ASecretNames names emptied.
QStringList WithoutSecrets(const QStringList& ALines, const QStringList& ASecretNames);
