#include "viewer/displayrule.h"

QRect DisplayRect(const QSize& picture, const QSize& area, bool stretch, bool proportional)
{
    const int pw = picture.width();
    const int ph = picture.height();
    const int cw = area.width();
    const int ch = area.height();
    int w = pw;
    int h = ph;
    if (stretch || (proportional && (pw > cw || ph > ch))) {
        if (proportional && pw > 0 && ph > 0) {
            const double a = double(pw) / double(ph);
            if (pw > ph) {
                w = cw;
                h = int(cw / a);
                if (h > ch) {
                    h = ch;
                    w = int(ch * a);
                }
            } else {
                h = ch;
                w = int(ch * a);
                if (w > cw) {
                    w = cw;
                    h = int(cw / a);
                }
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    return QRect(0, 0, w, h);
}
