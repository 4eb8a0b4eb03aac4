#include "grid/pictures/Metafile.h"

#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <cstring>

namespace pictures {

bool IsWmfData(const QByteArray& b)
{
    if (b.size() >= 22 && static_cast<unsigned char>(b[0]) == 0xD7 && static_cast<unsigned char>(b[1]) == 0xCD
        && static_cast<unsigned char>(b[2]) == 0xC6 && static_cast<unsigned char>(b[3]) == 0x9A)
        return true;
    return b.size() >= 18 && (b[0] == 1 || b[0] == 2) && b[1] == 0 && b[2] == 9 && b[3] == 0;
}

QByteArray WmfToSvg(const QByteArray& bytes, QSize& size)
{
    size = QSize();
    if (!IsWmfData(bytes))
        return {};
    wmfAPI* api = nullptr;
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_svg_function;
    // No messages on stderr: a picture that cannot be read is simply not drawn.
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return {};
    }
    QByteArray input = bytes;   // libwmf reads through a non-const pointer
    QByteArray svg;
    // The SVG text goes straight into `svg` through a stream of our own.
    wmfStream out;
    out.context = &svg;
    out.sputs = [](char* text, void* context) -> int {
        static_cast<QByteArray*>(context)->append(text);
        return 0;
    };
    out.reset = [](void* context) -> int {
        static_cast<QByteArray*>(context)->clear();
        return 0;
    };
    wmfD_Rect bbox;
    unsigned int width = 0;
    unsigned int height = 0;
    if (wmf_mem_open(api, reinterpret_cast<unsigned char*>(input.data()), long(input.size())) == wmf_E_None
        && wmf_scan(api, 0, &bbox) == wmf_E_None
        && wmf_display_size(api, &width, &height, 96, 96) == wmf_E_None && width > 0 && height > 0
        && width <= 16384 && height <= 16384) {
        wmf_svg_t* data = WMF_SVG_GetData(api);
        data->out = &out;
        data->Description = nullptr;
        // libwmf frames the drawn content; a placeable metafile's own frame is its header's
        // bounding box (libwmf's device units are points: units x 72 / units per inch).
        auto word = [&](int at) { return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8)); };
        if (static_cast<unsigned char>(bytes[0]) == 0xD7 && word(14) > 0) {
            const float toPoints = 72.0f / float(word(14));
            bbox.TL.x = float(qint16(word(6))) * toPoints;
            bbox.TL.y = float(qint16(word(8))) * toPoints;
            bbox.BR.x = float(qint16(word(10))) * toPoints;
            bbox.BR.y = float(qint16(word(12))) * toPoints;
        }
        data->bbox = bbox;
        data->width = width;
        data->height = height;
        if (wmf_play(api, 0, &bbox) != wmf_E_None)
            svg.clear();
        if (!svg.isEmpty())
            size = QSize(int(width), int(height));
    }
    wmf_api_destroy(api);
    return svg;
}

} // namespace pictures
