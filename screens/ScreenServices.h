#pragma once

class AppEnvironment;
class EventPump;
class FileOpenDialog;
class InputMethod;
class MessageBox;
class PdfFileSource;
class PictureLoader;
class PrintPreview;
class PrinterSource;
class PropertyStore;
class SaveFileDialog;

// What the screens are given to work with: the store, and the platform
// services they use directly. main() builds the real ones; tests pass fakes.
struct ScreenServices
{
    PropertyStore& store;
    MessageBox& messages;
    FileOpenDialog& fileDialog;
    PictureLoader& pictures;
    EventPump& events;
    AppEnvironment& environment;
    PrinterSource& printers;
    InputMethod& inputMethod;
    PrintPreview& preview;
    SaveFileDialog& saveDialog;
    PdfFileSource& pdfFiles;
};
