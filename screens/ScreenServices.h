#pragma once

class AppEnvironment;
class EventPump;
class FileOpenDialog;
class InputMethod;
class JetConversion;
class MessageBox;
class PdfFileSource;
class PictureLoader;
class PrintPreview;
class PrinterSetup;
class PrinterSource;
class PropertyStore;
class SaveFileDialog;
class UserGuide;

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
    // Offers to convert an Access (Jet) database file at start-up; none: no offer.
    JetConversion* jetConversion = nullptr;
    // The guide that F1 opens; none: F1 says that the guide is missing.
    UserGuide* guide = nullptr;
    // The print server's queues and the agent's choice among them (「プリンターの設定」); none: the entry
    // screen's menu offers no choice.
    PrinterSetup* printerSetup = nullptr;
};
