#pragma once
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A test whose program folders (CORVANE_HOME: registry hive, record files, cat.dat,
// sockets) live in a fresh temporary folder, and whose environment has no proxy.
class TempHomeTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QString Home() const { return dir.path(); }
    // Home() + "/" + name.
    QString Path(const QString& name) const;

private:
    QTemporaryDir dir;
};

// Reads a whole file, or an empty array when it cannot be read.
QByteArray ReadWholeFile(const QString& path);
bool WriteWholeFile(const QString& path, const QByteArray& bytes);
