#include "compound_file.h"

#include "byte_writer.h"

#include <vector>

namespace xls {

QByteArray BuildCompoundFile(const QByteArray& stream) {
    constexpr int kSector = 512;
    constexpr std::uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSect = 0xFFFFFFFD,
                            kDifSect = 0xFFFFFFFC;
    const std::uint32_t streamSectors =
        static_cast<std::uint32_t>((stream.size() + kSector - 1) / kSector);
    const std::uint32_t dirSectors = 1;
    std::uint32_t fatSectors = 0, difatSectors = 0;
    for (;;) {
        const std::uint32_t total = streamSectors + dirSectors + fatSectors + difatSectors;
        const std::uint32_t needFat = (total + 127) / 128;
        const std::uint32_t needDifat = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const std::uint32_t dirStart = streamSectors;
    const std::uint32_t fatStart = dirStart + dirSectors;
    const std::uint32_t difatStart = fatStart + fatSectors;
    const std::uint32_t totalSectors = difatStart + difatSectors;

    std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatSectors) * 128, kFree);
    for (std::uint32_t i = 0; i < streamSectors; ++i)
        fat[i] = i + 1 < streamSectors ? i + 1 : kEndOfChain;
    fat[dirStart] = kEndOfChain;
    for (std::uint32_t i = 0; i < fatSectors; ++i)
        fat[fatStart + i] = kFatSect;
    for (std::uint32_t i = 0; i < difatSectors; ++i)
        fat[difatStart + i] = kDifSect;

    Bytes out;
    // Header.
    out.Raw(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    out.Zeros(16);   // CLSID
    out.U16(0x003E); // minor version
    out.U16(0x0003); // major version 3
    out.U16(0xFFFE); // little-endian
    out.U16(9);      // 512-byte sectors
    out.U16(6);      // 64-byte mini sectors
    out.Zeros(6);    // reserved
    out.U32(0);      // directory sectors (0 in version 3)
    out.U32(fatSectors);
    out.U32(dirStart);
    out.U32(0);           // transaction signature
    out.U32(0x1000);      // mini stream cutoff
    out.U32(kEndOfChain); // no mini FAT
    out.U32(0);
    out.U32(difatSectors ? difatStart : kEndOfChain);
    out.U32(difatSectors);
    for (std::uint32_t i = 0; i < 109; ++i)
        out.U32(i < fatSectors ? fatStart + i : kFree);

    // Stream sectors.
    out.Raw(stream);
    out.Zeros(
        static_cast<int>(streamSectors * kSector - static_cast<std::uint32_t>(stream.size())));

    // Directory: root entry, the Workbook stream, two unused entries.
    auto entry = [&out](const QString& name, std::uint8_t type, std::uint32_t child,
                        std::uint32_t start, std::uint32_t size) {
        const int before = out.size();
        out.Utf16(name);
        out.Zeros(64 - 2 * static_cast<int>(name.size()));
        out.U16(name.isEmpty() ? 0 : static_cast<std::uint16_t>(2 * (name.size() + 1)));
        out.U8(type);
        out.U8(type == 0 ? 0 : 1); // black
        out.U32(kFree);            // left sibling
        out.U32(kFree);            // right sibling
        out.U32(child);
        out.Zeros(16 + 4 + 8 + 8); // CLSID, state, times
        out.U32(start);
        out.U32(size);
        out.U32(0);
        Q_ASSERT(out.size() - before == 128);
        (void)before;
    };
    entry(QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    entry(QStringLiteral("Workbook"), 2, kFree, 0, static_cast<std::uint32_t>(stream.size()));
    entry(QString(), 0, kFree, 0, 0);
    entry(QString(), 0, kFree, 0, 0);

    // FAT.
    for (std::uint32_t v : fat)
        out.U32(v);
    // DIFAT sectors: 127 FAT sector numbers each, then the next DIFAT sector.
    for (std::uint32_t d = 0; d < difatSectors; ++d) {
        for (std::uint32_t k = 0; k < 127; ++k) {
            const std::uint32_t fatIndex = 109 + d * 127 + k;
            out.U32(fatIndex < fatSectors ? fatStart + fatIndex : kFree);
        }
        out.U32(d + 1 < difatSectors ? difatStart + d + 1 : kEndOfChain);
    }
    Q_ASSERT(out.size() == static_cast<int>((totalSectors + 1) * kSector));
    (void)totalSectors;
    return out.data();
}

} // namespace xls
