#pragma once

#include "ParamValues.h"

#include <QString>
#include <QStringList>

// Command lines that make a call again from a shell: with the command-line tool or with curl.

// AText as one shell word: unchanged when it holds only characters no shell treats specially,
// else in single quotes.
QString ShellWord(const QString& AText);

// "vlcallbench-call --server URL [--legacy] [--force] COMMAND NAME=VALUE ..." for ACommand and
// the given NAME=VALUE lines (Command, Password and JSON are the tool's own business). A line that
// ASecretNames names is written NAME="${VL_NAME}" (SecretVariable) unless its value is empty, so
// the value comes from the shell. AForce: the command or a line is outside the server's version,
// which the tool refuses without --force.
QString CallToolLine(const QString& AURL, bool AJSON, const QString& ACommand,
                     const QStringList& ALines, const QStringList& ASecretNames,
                     bool AForce = false);

// The TLS choices a curl line carries over.
struct TCurlTls {
    bool Insecure = false;
    QString CACertFile;
    // "sha256:" and the hexadecimal SHA-256 of a trusted certificate's public key: curl skips its
    // own check (-k) but accepts only that key.
    QString PinnedKey;
};

// A curl command line posting AForm to AURL. The body is the one the program sends, byte for
// byte, except that unless AShowSecrets the password comes from the shell variable VL_PASSWORD and
// every other non-empty line that ASecretNames names from its own (SecretVariable: VL_PW for PW),
// which curl encodes itself, so characters other than letters and digits may be written
// differently, with the same meaning.
QString CurlLine(const QString& AURL, const TParamValues& AForm, const QStringList& ASecretNames,
                 bool AShowSecrets, const TCurlTls& ATls = {});
