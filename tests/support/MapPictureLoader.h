#pragma once

#include "flyer/Flyer.h"
#include "platform/desktop/QtPictureLoader.h"
#include "platform/heif/HeifPictureDecoder.h"
#include "platform/pdf/PopplerPictureDecoder.h"

// The program's picture loader as app/Application.cpp composes it: Qt's
// readers, and the HEIC and PDF decoders, PDF maps rendered for the flyer's
// map room. For the tests, the benchmarks and the render_flyer tool (each
// links fudousan_platform_desktop, _heif, _pdf and fudousan_flyer).
struct MapPictureDecoders
{
    explicit MapPictureDecoders(int pdfTimeLimitMs = PopplerPictureDecoder::kDefaultTimeLimitMs)
        : pdf(Flyer_Map_Room(), pdfTimeLimitMs)
    {
    }
    HeifPictureDecoder heif;
    PopplerPictureDecoder pdf;
};

class MapPictureLoader : private MapPictureDecoders, public QtPictureLoader
{
public:
    explicit MapPictureLoader(int allocationLimitMb = kDefaultAllocationLimitMb,
        int pdfTimeLimitMs = PopplerPictureDecoder::kDefaultTimeLimitMs)
        : MapPictureDecoders(pdfTimeLimitMs)
        , QtPictureLoader(allocationLimitMb, { &heif, &pdf })
    {
    }
};
