#pragma once
// A small data folder for database tests: a catalogue whose order differs from the alphabet and
// from the schemes' lists, a few DL/T 645 items, two schemes, two models and one account.

#include <QDir>
#include <QFile>
#include <QString>

inline void WriteTextFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(text);
}

inline void WriteSeedFixture(const QString& dir) {
    WriteTextFile(dir + "/outpar.csv", "CSMC,ADDR,ZS,FH,DW,BL,CHECKMC\n"
                                       "A相电压,0,1,0,V,100,UA\n"
                                       "B相电压,1,1,0,V,100,UB\n"
                                       "A相电流,3,1,0,A,1000,IA\n"
                                       "总有功功率,10,2,1,W,10,P\n"
                                       "电网状态,40,1,0,0,1,\n"
                                       "日期时间,41,3,0,0,3,\n"
                                       "频率,50,1,0,0.00,100,F\n");
    WriteTextFile(dir + "/dl645_97.csv", "INFONUM,DATAFORMAT,CSMC,DW,CHECKMC\n"
                                         "0x9010,XXXXXX.XX,正向有功总电能,kWh,\n"
                                         "0xB611,XXX,A相电压,V,UA\n");
    WriteTextFile(dir + "/dl645_07.csv", "INFONUM,DATAFORMAT,CSMC,DW,CHECKMC\n"
                                         "0x00010000,XXXXXX.XX,正向有功总电能,kWh,\n"
                                         "0x02010100,XXX.X,A相电压,V,UA\n");
    WriteTextFile(
        dir + "/seed/fstable.csv",
        "FS,UBLFX,UBL,IBLFX,IBL,PBLFX,PBL,EBLFX,EBL,TXXY,SDBJXS,CSLXSN,FDBDSN,CSFHSN,"
        "GLYSFXSN\n"
        "标准方式,0xAA55,10,0x0000,1,0xAA55,1,0x0000,1,0,0,0x0000,0x0000,0xAA55,0x0000\n"
        "亚奥方式,0x0000,1,0x0000,1,0x0000,1,0x0000,1,3,90,0xAA55,0x0000,0x0000,0x0000\n");
    // The list order differs from the catalogue order on purpose.
    WriteTextFile(dir + "/seed/cstable.csv", "FS,CSMC\n"
                                             "标准方式,频率\n"
                                             "标准方式,A相电压\n"
                                             "亚奥方式,A相电流\n"
                                             "标准方式,总有功功率\n"
                                             "亚奥方式,A相电压\n");
    WriteTextFile(dir + "/seed/config.csv", "CPXH,FS,BTLGS,JXMS,UPT,ICT,CTNUM,XLJSFS\n"
                                            "KX2953B35-01,标准方式,3,0,1,1,1,0\n"
                                            "KX7410Y10-01,亚奥方式,0,1,10,200,0,1\n");
    WriteTextFile(dir + "/seed/usertable.csv", "username,userpass\nadmin,admin123\n");
}
