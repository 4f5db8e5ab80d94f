// Shared state of the XML writer and reader: the document over a byte stream, and a cursor on
// one element with a stack of saved positions.
//
// Every document is rooted in the element "root"; its leaves carry one value each as text; there
// are no attributes, namespaces or declarations.
#pragma once

#include <pugixml.hpp>
#include <vector>

#include "rtl/memory_stream.h"

namespace nimbrel {

class TXMLBaseIO {
  public:
    // The stream belongs to the caller and must outlive this object.
    explicit TXMLBaseIO(TMemoryStream& AStream);

    // Raises EStreamError "Non-empty XML stack" when save points are left (unless another
    // exception is already passing, which must not be replaced). Owners therefore keep these
    // objects as members or locals, never behind a deleter that may not throw.
    virtual ~TXMLBaseIO() noexcept(false);

    TXMLBaseIO(const TXMLBaseIO&) = delete;
    TXMLBaseIO& operator=(const TXMLBaseIO&) = delete;

    void SelectRoot() { FCurrNode = FRootNode; }

    // Every SavePoint is paired with exactly one Rollback on every path (see TSavePoint).
    void SavePoint() { FSavePointList.push_back(FCurrNode); }
    void Rollback();

    // True exactly when the stream is a byte-array stream (clipboard transfers).
    bool IsBasedOnVolatileStream() const;

  protected:
    // Drops the whole document and starts a new one holding only "root", with the cursor on it.
    // The save-point stack is not touched.
    void Reset();

    TMemoryStream& FStream;
    pugi::xml_document FXMLDoc;
    pugi::xml_node FRootNode;
    pugi::xml_node FCurrNode;
    std::vector<pugi::xml_node> FSavePointList;
};

// Holds one save point for a scope: the cursor is back where it was when the scope ends, also
// when an exception passes.
class TSavePoint {
  public:
    explicit TSavePoint(TXMLBaseIO& IO) : FIO(IO) { FIO.SavePoint(); }
    ~TSavePoint() { FIO.Rollback(); }
    TSavePoint(const TSavePoint&) = delete;
    TSavePoint& operator=(const TSavePoint&) = delete;

  private:
    TXMLBaseIO& FIO;
};

}  // namespace nimbrel
