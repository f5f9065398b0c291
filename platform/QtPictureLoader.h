#pragma once

#include "platform/PictureLoader.h"

// PictureLoader on QImageReader.
class QtPictureLoader : public PictureLoader
{
public:
    QImage load(const QString& path) override;
};
