// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

struct TimesyncdSources;

#include <QString>
#include <QVector>

// Where a server a service uses comes from: its main configuration file, a
// file of a folder it reads besides (DHCP's, drop-ins), or timesyncd's lists.
struct SourceOrigin {
    enum Kind { MainFile, Dhcp, DropIn, Link, System, Fallback, Runtime };
    QString host; // as written: a name or an address
    Kind kind = MainFile;
    QString file; // the file it is written in, as the system names it
    bool inUse = false; // timesyncd's ServerName
};

namespace SourceOrigins
{
// The servers, pools and peers of chrony.conf with its `sourcedir` (*.sources)
// and `confdir` (*.conf) folders, or of ntpsec's ntp.conf with its
// `includefile`s. `root` is the system root (SysRoot::root()).
QVector<SourceOrigin> read(PackageIndex service, const QString &root);
// timesyncd's lists as its bus object tells them, each server found in
// timesyncd.conf or a timesyncd.conf.d drop-in named with its file;
// ServerName is the one in use.
QVector<SourceOrigin> timesyncd(const TimesyncdSources &properties, const QString &root);
// The servers of a timesyncd file's NTP= and FallbackNTP= lines, the last of each counting.
QStringList timesyncdServers(const QByteArray &text);
// The same from the text of one file; `included` gets the folders and files it names.
QVector<SourceOrigin> parse(PackageIndex service, const QByteArray &text, const QString &file, SourceOrigin::Kind kind, QStringList *included);
// The origin of a sources table row: matched by address or name.
const SourceOrigin *find(const QVector<SourceOrigin> &origins, const QString &address, const QString &name);
}
