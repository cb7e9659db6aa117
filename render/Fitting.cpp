#include "render/Fitting.h"

#include <algorithm>

Fit fitDocument(const FitRequest& r)
{
    // A rounding hair must not turn a fitting line into a smaller size.
    const auto fits = [&r](qreal points, qreal width) {
        return r.widthPerPoint * points <= width * (1 + 1e-9);
    };
    for (const qreal points : r.sizes) {
        if (fits(points, r.portraitWidth))
            return Fit{points, false, false};
    }
    const qreal last = r.sizes.isEmpty() ? kSmallestPortraitPoints : r.sizes.last();
    if (r.widthPerPoint <= 0)
        return Fit{last, false, false};
    const qreal portrait = r.portraitWidth / r.widthPerPoint;
    if (portrait >= kSmallestPortraitPoints)
        return Fit{std::min(portrait, last), false, false};
    const qreal landscape =
        std::min({r.landscapeWidth / r.widthPerPoint, kSmallestPortraitPoints, last, r.landscapeCap});
    if (landscape >= kSmallestPoints)
        return Fit{landscape, true, false};
    return Fit{kSmallestPoints, true, true};
}
