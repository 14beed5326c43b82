#include "link/open_failure.h"

#include <QCoreApplication>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

namespace {

#ifdef Q_OS_UNIX
bool MayReadAndWrite(const QByteArray& path) {
    return ::access(path.constData(), R_OK | W_OK) == 0;
}

QString OwningGroup(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return {};
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return QString::fromLocal8Bit(found->gr_name);
}
#endif

} // namespace

OpenFailure DiagnoseOpenFailure(const QString& port, QSerialPort::SerialPortError error,
                                const QString& errorString) {
    OpenFailure failure;
    failure.port = port;
    if (port.trimmed().isEmpty()) {
        failure.kind = OpenFailure::Kind::NoPortChosen;
        return failure;
    }
    // A link whose target has gone (an unplugged adapter, a simulator that ended) is no device.
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(port)) {
        failure.kind = OpenFailure::Kind::NoSuchDevice;
        return failure;
    }
    if (error == QSerialPort::PermissionError) {
#ifdef Q_OS_UNIX
        const QByteArray path = QFile::encodeName(port);
        if (!MayReadAndWrite(path)) {
            failure.kind = OpenFailure::Kind::PermissionDenied;
            failure.group = OwningGroup(path);
            return failure;
        }
#endif
        // Allowed, yet refused: a lock file or an exclusive open of another program.
        failure.kind = OpenFailure::Kind::InUse;
        return failure;
    }
    failure.kind = OpenFailure::Kind::Other;
    failure.detail = errorString;
    return failure;
}

QString OpenFailureMessage(const OpenFailure& f) {
    const QString first = QCoreApplication::translate("Link", "初始化失败！！");
    switch (f.kind) {
    case OpenFailure::Kind::None:
        return first;
    case OpenFailure::Kind::NoPortChosen:
        return first +
               QCoreApplication::translate("Link", "\n没有选择串口：请在“串口设置”中选择端口。");
    case OpenFailure::Kind::NoSuchDevice:
        return first +
               QCoreApplication::translate("Link", "\n串口 %1 不存在：设备未连接，或端口名称有误。")
                   .arg(f.port);
    case OpenFailure::Kind::PermissionDenied:
        if (f.group.isEmpty())
            return first + QCoreApplication::translate(
                               "Link", "\n没有权限打开串口 %1：请把当前用户加入拥有该设备的用户组，"
                                       "重新登录后再试。")
                               .arg(f.port);
        return first + QCoreApplication::translate(
                           "Link", "\n没有权限打开串口 %1：请把当前用户加入拥有该设备的用户组 "
                                   "%2（sudo usermod -aG %2 $USER），重新登录后再试。")
                           .arg(f.port, f.group);
    case OpenFailure::Kind::InUse:
        return first + QCoreApplication::translate(
                           "Link", "\n串口 %1 正被其他程序占用：请先关闭占用它的程序。")
                           .arg(f.port);
    case OpenFailure::Kind::BadSettings:
        return first +
               QCoreApplication::translate("Link", "\n串口 %1 不接受所选的通信参数。").arg(f.port);
    case OpenFailure::Kind::Other:
        break;
    }
    return first + QCoreApplication::translate("Link", "\n串口 %1：%2").arg(f.port, f.detail);
}
