// The picture service: delivery, supersession, cancellation, the memory
// budget, prefetching, rows as they arrive, every kind of request.
#include "picture/pictureservice.h"
#include "support/testutil.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

using namespace lumenta;
using testutil::sample;

namespace {

const QString kBig = "jpeg/large_4000x3000.jpg";
constexpr qint64 kBigBytes = qint64(4000) * 3000 * 4;

class Service : public ::testing::Test {
protected:
    // Every result, in order of arrival.
    QList<PictureResult> results;
    PictureService service;
    QObject owner;

    void SetUp() override {
        QObject::connect(&service, &PictureService::finished, &service,
                         [this](const PictureResult& r) {
                             EXPECT_EQ(QThread::currentThread(), qApp->thread());
                             results.append(r);
                         });
    }
    bool idle() {
        return testutil::waitUntil([this] { return service.isIdle(); }, 20000);
    }
    // Idle, and n results in all.
    bool arrived(qsizetype n) {
        return idle() && testutil::waitUntil([&] { return results.size() == n; });
    }
    const PictureResult* resultOf(PictureTicket t) const {
        const auto it = std::find_if(results.cbegin(), results.cend(),
                                     [t](const PictureResult& r) { return r.ticket == t; });
        return it == results.cend() ? nullptr : &*it;
    }
};

} // namespace

TEST_F(Service, DeliversEachRequestOnceLaterAndFromMemoryWhenKept) {
    int handled = 0;
    const PictureTicket a = service.request(&owner, PictureRequest::full(sample(kBig)),
                                            [&](const PictureResult&) { ++handled; });
    const PictureTicket b =
        service.request(&owner, PictureRequest::thumbnail(sample("gif/static.gif"), {16, 16}, 1));
    EXPECT_NE(a, b);
    EXPECT_TRUE(results.isEmpty()); // never before request() returns
    ASSERT_TRUE(arrived(2));
    ASSERT_NE(resultOf(a), nullptr);
    EXPECT_EQ(resultOf(a)->picture.size(), QSize(4000, 3000));
    EXPECT_FALSE(resultOf(a)->fromCache);
    EXPECT_EQ(handled, 1);
    EXPECT_LE(resultOf(b)->picture.size().width(), 16);
    EXPECT_FALSE(service.isPending(a));

    // Kept: answered from memory, still by a later signal; a reduced copy or
    // a part is made from the kept picture.
    const PictureTicket again = service.request(&owner, PictureRequest::full(sample(kBig)));
    const PictureTicket part =
        service.request(&owner, PictureRequest::centre(sample(kBig), {100, 50}, 2));
    EXPECT_EQ(results.size(), 2);
    ASSERT_TRUE(testutil::waitUntil([&] { return results.size() == 4; }));
    EXPECT_TRUE(resultOf(again)->fromCache);
    EXPECT_EQ(resultOf(again)->picture.image, resultOf(a)->picture.image);
    EXPECT_EQ(resultOf(part)->picture.region, QRect(1950, 1475, 100, 50));
    EXPECT_EQ(resultOf(part)->picture.image, resultOf(a)->picture.image.copy(1950, 1475, 100, 50));
}

TEST_F(Service, NewerRequestsSupersedeAndCancelledOnesNeverArrive) {
    const QString gif = sample("gif/static.gif");
    // Same owner and slot: only the newest arrives.
    service.request(&owner, PictureRequest::full(sample(kBig)));
    service.request(&owner, PictureRequest::fitted(sample(kBig), {300, 300}));
    const PictureTicket last = service.request(&owner, PictureRequest::full(gif));
    // Other slots and owners are independent.
    QObject other;
    const PictureTicket slot1 = service.request(&owner, PictureRequest::full(gif, false, 1));
    const PictureTicket others = service.request(&other, PictureRequest::full(gif));
    ASSERT_TRUE(arrived(3));
    EXPECT_TRUE(resultOf(last) && resultOf(slot1) && resultOf(others));

    // A browser's 48 thumbnails, dropped on a folder change; a request
    // cancelled alone; an owner that goes away.
    results.clear();
    for (int i = 0; i < 48; ++i)
        service.request(&owner, PictureRequest::thumbnail(sample(kBig), {64 + i, 64}, quint64(i)));
    const PictureTicket one = service.request(&other, PictureRequest::fitted(sample(kBig), {9, 9}));
    auto gone = std::make_unique<QObject>();
    service.request(gone.get(), PictureRequest::fitted(sample(kBig), {8, 8}));
    service.cancelAll(&owner);
    service.cancel(one);
    gone.reset();
    EXPECT_FALSE(service.isPending(one));
    ASSERT_TRUE(idle());
    testutil::waitUntil([] { return false; }, 50);
    EXPECT_TRUE(results.isEmpty());
}

TEST_F(Service, MemoryStaysWithinTheBudget) {
    const QString gif = sample("gif/static.gif");
    const QString bmp = sample("bmp/bmp24.bmp");
    const qint64 small = PictureCache::bytesOf(loadPicture(gif));
    service.setMemoryBudget(small * 3 / 2);
    service.request(&owner, PictureRequest::full(gif, false, 1));
    service.request(&owner, PictureRequest::full(sample(kBig), false, 2)); // larger than the budget
    ASSERT_TRUE(arrived(2));
    EXPECT_TRUE(results[0].ok() && results[1].ok()); // delivered all the same
    EXPECT_LE(service.memoryUsed(), service.memoryBudget());
    const PictureTicket gifAgain = service.request(&owner, PictureRequest::full(gif, false, 1));
    const PictureTicket bigAgain =
        service.request(&owner, PictureRequest::full(sample(kBig), false, 2));
    ASSERT_TRUE(testutil::waitUntil([&] { return resultOf(gifAgain) && resultOf(bigAgain); }));
    EXPECT_TRUE(resultOf(gifAgain)->fromCache);
    EXPECT_FALSE(resultOf(bigAgain)->fromCache);
    // The least recently used picture makes room for a newer one.
    service.request(&owner, PictureRequest::full(bmp, false, 3));
    ASSERT_TRUE(idle());
    const PictureTicket gifThird = service.request(&owner, PictureRequest::full(gif, false, 1));
    ASSERT_TRUE(testutil::waitUntil([&] { return resultOf(gifThird); }));
    EXPECT_FALSE(resultOf(gifThird)->fromCache);
    EXPECT_LE(service.memoryUsed(), service.memoryBudget());

    // A prefetch that does not fit is not made; one that fits is kept.
    service.clearCache();
    service.setMemoryBudget(kBigBytes - 1);
    service.prefetch(&owner, PictureRequest::full(sample(kBig)));
    ASSERT_TRUE(idle());
    EXPECT_EQ(service.memoryUsed(), 0);
    service.setMemoryBudget(kBigBytes);
    service.prefetch(&owner, PictureRequest::full(sample(kBig)));
    ASSERT_TRUE(idle());
    EXPECT_EQ(service.memoryUsed(), kBigBytes);
    const PictureTicket wanted = service.request(&owner, PictureRequest::full(sample(kBig)));
    ASSERT_TRUE(testutil::waitUntil([&] { return resultOf(wanted); }));
    EXPECT_TRUE(resultOf(wanted)->fromCache);
}

TEST_F(Service, LoadingRulesHoldForEveryKindOfRequest) {
    struct Rule {
        const char* file;
        QSize natural; // invalid: refused
    };
    const Rule rules[] = {
        {"misnamed/jpeg_named.bmp", QSize(203, 133)}, // format from the content
        {"misnamed/gif_named.jpg", QSize(203, 133)},
        {"jpeg/exif_orientation6.jpg", QSize(133, 203)}, // orientation
        {"ico/im_multisize.ico", QSize(256, 256)},       // largest icon image
        {"bmp/headerless_bmp24.dib", QSize(203, 133)},   // DIB without header
        {"meta/gdi_records.wmf", QSize(640, 400)},       // metafile
        {"broken/jpeg_sof_65000x65000.jpg", QSize()},    // allocation limit
        {"broken/bmp_100000x100000.bmp", QSize()},
        {"broken/text_renamed.jpg", QSize()},
        {"broken/empty.gif", QSize()},
    };
    const PictureRequest kinds[] = {PictureRequest::full({}), PictureRequest::fitted({}, {64, 64}),
                                    PictureRequest::thumbnail({}, {24, 24}),
                                    PictureRequest::covering({}, {100, 30}),
                                    PictureRequest::centre({}, {20, 10})};
    quint64 slot = 0;
    QHash<PictureTicket, std::pair<const Rule*, const PictureRequest*>> asked;
    for (const PictureRequest& kind : kinds) {
        for (const Rule& rule : rules) {
            PictureRequest r = kind;
            r.path = sample(QLatin1String(rule.file));
            r.slot = ++slot;
            asked.insert(service.request(&owner, r), {&rule, &kind});
        }
    }
    ASSERT_TRUE(arrived(asked.size()));
    for (const PictureResult& r : results) {
        const auto [rule, kind] = asked.value(r.ticket);
        SCOPED_TRACE(std::string(rule->file) + " kind " + std::to_string(int(kind->need.kind)));
        if (!rule->natural.isValid()) {
            EXPECT_FALSE(r.ok());
            continue;
        }
        ASSERT_TRUE(r.ok()) << r.picture.error.toStdString();
        const QSize natural = rule->natural;
        EXPECT_EQ(r.picture.naturalSize, natural);
        EXPECT_EQ(r.picture.kind, QByteArray(rule->file).endsWith(".wmf") ? Picture::Kind::Wmf
                                                                          : Picture::Kind::Raster);
        const QSize expected = kind->need.kind == PictureNeed::Kind::Full
                                   ? regionFor(natural, kind->need).size()
                                   : reducedSize(natural, kind->need);
        EXPECT_EQ(r.picture.size(), expected);
    }
}

TEST_F(Service, RowsComeFinalBeforeThePictureAndAskingAgainJoinsTheDecoding) {
    QList<std::pair<PictureTicket, int>> rows;
    QImage buffer;
    bool rowsAfterEnd = false, pendingAtFirstRows = false;
    PictureTicket first = 0, again = 0;
    int seen = 0;
    // Asked again at the first rows, before the decoding can have ended.
    QObject::connect(&service, &PictureService::rowsReady, &owner,
                     [&](PictureTicket t, const QImage& image, int n) {
                         rowsAfterEnd = rowsAfterEnd || !results.isEmpty();
                         if (buffer.isNull())
                             buffer = image;
                         rows.append({t, n});
                         if (again == 0 && t == first) {
                             pendingAtFirstRows = service.isPending(first);
                             seen = n;
                             again =
                                 service.request(&owner, PictureRequest::full(sample(kBig), true));
                         }
                     });
    first = service.request(&owner, PictureRequest::full(sample(kBig), true));
    ASSERT_TRUE(testutil::waitUntil([&] { return again != 0; }));
    EXPECT_TRUE(pendingAtFirstRows);
    ASSERT_TRUE(arrived(1));
    EXPECT_EQ(results[0].ticket, again);
    EXPECT_FALSE(rowsAfterEnd);
    // Rows in the picture's own buffer, filled on from where it was for the
    // second request: no second decoding.
    EXPECT_EQ(results[0].picture.image.constBits(), buffer.constBits());
    const auto firstOfAgain =
        std::find_if(rows.cbegin(), rows.cend(), [&](const auto& r) { return r.first == again; });
    ASSERT_NE(firstOfAgain, rows.cend());
    EXPECT_GE(firstOfAgain->second, seen);
    // Each request's rows top down, under its own ticket.
    EXPECT_EQ(rows[0].first, first);
    for (PictureTicket t : {first, again}) {
        QList<int> of;
        for (const auto& [ticket, n] : rows)
            if (ticket == t)
                of << n;
        EXPECT_TRUE(std::is_sorted(of.cbegin(), of.cend())) << t;
    }

    // A prefetch its owner drops is not made (or not kept).
    service.clearCache();
    service.prefetch(&owner, PictureRequest::full(sample(kBig)));
    service.cancelPrefetch(&owner);
    ASSERT_TRUE(idle());
    EXPECT_EQ(service.memoryUsed(), 0);
}
