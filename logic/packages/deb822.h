// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Control-file paragraphs as dpkg's status file and apt's Packages lists hold
// them. Pure functions: no files, no logging, any input is safe.
namespace Deb822
{
struct Field {
    QByteArray name;
    // Continuation lines are joined with '\n', leading blanks removed.
    QByteArray value;
};

struct Paragraph {
    int firstLine = 0; // 1-based
    QVector<Field> fields;

    // Field names compare case-insensitively; empty when absent.
    QByteArray value(const char *name) const;
    bool has(const char *name) const;
};

struct Error {
    int line = 0; // 1-based
    QString message;
};

struct Result {
    QVector<Paragraph> paragraphs;
    // A paragraph with an error is left out whole; the rest is still read.
    QVector<Error> errors;
};

// keepFields, when not empty, names the only fields stored (lower case);
// the others are still checked. Paragraphs left without a stored field are
// dropped.
Result parse(const QByteArray &data, const QVector<QByteArray> &keepFields = {});

// Package names of a relationship field ("a (>= 1), b:any | c [amd64]"):
// versions, architecture qualifiers, restrictions and alternatives removed.
QVector<QByteArray> relationNames(const QByteArray &field);
}
