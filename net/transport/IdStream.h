#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

// A seekable byte stream, the source and target of the stream operations of the I/O handler.
class TIdStream {
public:
    virtual ~TIdStream() = default;
    virtual int64_t Size() const = 0;
    virtual void SetSize(int64_t ASize) = 0;
    virtual int64_t Position() const = 0;
    virtual void SetPosition(int64_t APosition) = 0;
    // Reads up to ABuffer.size() bytes at the position and advances; returns the count read.
    virtual size_t Read(std::span<uint8_t> ABuffer) = 0;
    // Writes at the position (growing the stream as needed) and advances.
    virtual void Write(std::span<const uint8_t> ABytes) = 0;
};

// A stream held in memory.
class TIdMemoryStream : public TIdStream {
public:
    TIdMemoryStream() = default;
    explicit TIdMemoryStream(std::vector<uint8_t> ABytes) : FData(std::move(ABytes)) {}

    int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t ASize) override;
    int64_t Position() const override { return FPosition; }
    void SetPosition(int64_t APosition) override;
    size_t Read(std::span<uint8_t> ABuffer) override;
    void Write(std::span<const uint8_t> ABytes) override;

    const std::vector<uint8_t>& Bytes() const { return FData; }
    std::vector<uint8_t> TakeBytes();

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};
