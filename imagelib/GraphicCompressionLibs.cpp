// The decoders built on zlib (deflate) and libjpeg (JPEG-compressed TIFF strips).
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>

#include <jpeglib.h>

#include "Dialogs.h"
#include "GraphicCompression.h"
#include "GraphicStrings.h"

using namespace GraphicStrings;

// --- Deflate -------------------------------------------------------------------------------

TLZ77Decoder::TLZ77Decoder(int32_t InflateFlush, bool ResetEachBlock)
    : InflateFlush_(InflateFlush), ResetEachBlock_(ResetEachBlock) {}

TLZ77Decoder::~TLZ77Decoder() {
    if (Initialized_) inflateEnd(&ZStream_);
}

void TLZ77Decoder::BeginDecoding() {
    if (Initialized_) {
        inflateEnd(&ZStream_);
        Initialized_ = false;
    }
    ZStream_ = z_stream{};
    if (inflateInit(&ZStream_) < 0) throw EGraphicCompression(gesLZ77Error);
    Initialized_ = true;
}

void TLZ77Decoder::EndDecoding() {
    const int result = inflateEnd(&ZStream_);
    Initialized_ = false;
    if (result < 0) throw EGraphicCompression(gesLZ77Error);
}

void TLZ77Decoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    ZStream_.next_in = static_cast<Bytef*>(Source);
    ZStream_.avail_in = SourceLength > 0 && Source ? uInt(SourceLength) : 0;
    if (ResetEachBlock_) LastResult_ = inflateReset(&ZStream_);
    if (LastResult_ != 0) return;
    ZStream_.next_out = static_cast<Bytef*>(Target);
    ZStream_.avail_out = TargetLength > 0 && Target ? uInt(TargetLength) : 0;
    LastResult_ = inflate(&ZStream_, InflateFlush_);
    Source = ZStream_.next_in;
    Target = ZStream_.next_out;
}

// --- JPEG strips ---------------------------------------------------------------------------

// The library's objects and the state its callbacks need. Library errors leave the library by
// longjmp to the call that was running (Guarded); no C++ object lives in the frames it skips.
struct TTIFFJPEGDecoder::TState {
    jpeg_decompress_struct Info{};
    jpeg_error_mgr Errors{};
    jpeg_source_mgr Source{};
    std::jmp_buf Jump;
    const uint8_t* Data = nullptr;  // the bytes the source hands out
    size_t Length = 0;
    std::exception_ptr Pending;     // an exception raised inside a callback, raised again outside
    bool Created = false;
};

namespace {

using TState = TTIFFJPEGDecoder::TState;

const JOCTET EndOfImage[2] = {0xFF, JPEG_EOI};

TState* StateOf(j_common_ptr info) { return static_cast<TState*>(info->client_data); }

[[noreturn]] void ErrorExit(j_common_ptr info) { std::longjmp(StateOf(info)->Jump, 1); }
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr info) {
    TState* state = StateOf(reinterpret_cast<j_common_ptr>(info));
    info->src->next_input_byte = state->Data;
    info->src->bytes_in_buffer = state->Length;
}

// Shows the end-of-input warning; an exception from the message handler is kept for later.
bool WarnEndOfInput(TState* state) noexcept {
    try {
        MessageDlg(gesJPEGEOI, mtWarning, {mbOK}, gesJPEGWarningCaption);
        return true;
    } catch (...) {
        state->Pending = std::current_exception();
        return false;
    }
}

boolean FillInput(j_decompress_ptr info) {
    TState* state = StateOf(reinterpret_cast<j_common_ptr>(info));
    if (!WarnEndOfInput(state)) std::longjmp(state->Jump, 2);
    info->src->next_input_byte = EndOfImage;
    info->src->bytes_in_buffer = 2;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    if (size_t(count) <= info->src->bytes_in_buffer) {
        info->src->next_input_byte += count;
        info->src->bytes_in_buffer -= size_t(count);
    } else {
        FillInput(info);
    }
}

void TermSource(j_decompress_ptr) {}

// Runs one library call; a library error becomes EInvalidGraphic "JPEG error #%d", an exception
// from a callback is raised again.
template <typename F>
void Guarded(TState& state, F&& call) {
    if (setjmp(state.Jump) == 0) {
        call();
        return;
    }
    if (state.Pending) {
        std::exception_ptr pending = state.Pending;
        state.Pending = nullptr;
        std::rethrow_exception(pending);
    }
    throw EInvalidGraphic(Format(gesJPEGError, {state.Errors.msg_code}));
}

}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TImageProperties& Properties) : ImageInfo_(Properties) {
    const TByteArray& tables = Properties.JPEGTableData;
    if (tables.Length() > 0) TableBytes_.assign(tables.Data(), tables.Data() + tables.Length());
}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() {
    if (JpegState_ && JpegState_->Created) jpeg_destroy_decompress(&JpegState_->Info);
}

void TTIFFJPEGDecoder::BeginDecoding() {
    EndDecoding();
    JpegState_ = std::make_unique<TState>();
    TState& state = *JpegState_;
    state.Info.err = jpeg_std_error(&state.Errors);
    state.Errors.error_exit = ErrorExit;
    state.Errors.emit_message = EmitMessage;
    state.Errors.output_message = OutputMessage;
    state.Info.client_data = &state;
    Guarded(state, [&] { jpeg_create_decompress(&state.Info); });
    state.Created = true;
    state.Info.client_data = &state;

    const TByteArray& chroma = ImageInfo_.ChromaSubsampling;
    ChromaH_ = chroma.Length() >= 1 ? chroma[0] : 1;
    ChromaV_ = chroma.Length() >= 2 ? chroma[1] : 1;

    state.Source.init_source = InitSource;
    state.Source.fill_input_buffer = FillInput;
    state.Source.skip_input_data = SkipInput;
    state.Source.resync_to_restart = jpeg_resync_to_restart;
    state.Source.term_source = TermSource;
    state.Info.src = &state.Source;

    if (!TableBytes_.empty()) {
        state.Data = TableBytes_.data();
        state.Length = TableBytes_.size();
        int result = 0;
        Guarded(state, [&] { result = jpeg_read_header(&state.Info, FALSE); });
        if (result != JPEG_HEADER_TABLES_ONLY) throw EGraphicCompression(gesJPEGBogusTableField);
    }
}

void TTIFFJPEGDecoder::EndDecoding() {
    if (JpegState_ && JpegState_->Created) jpeg_destroy_decompress(&JpegState_->Info);
    JpegState_.reset();
}

void TTIFFJPEGDecoder::DecodeBlock(void*& Source, void*& Target, int32_t SourceLength, int32_t TargetLength) {
    if (!JpegState_) BeginDecoding();
    TState& state = *JpegState_;
    jpeg_decompress_struct& info = state.Info;

    jpeg_abort_decompress(&info);
    state.Data = static_cast<const uint8_t*>(Source);
    state.Length = SourceLength > 0 && Source ? size_t(SourceLength) : 0;
    Guarded(state, [&] { jpeg_read_header(&info, TRUE); });

    // The strip must be what the image's properties promise.
    const int64_t rowsLeft = int64_t(ImageInfo_.ImageHeight) - ImageInfo_.RowCursor;
    const int64_t stripRows = ImageInfo_.StripRows.Length() > 0 ? int64_t(ImageInfo_.StripRows[0]) : rowsLeft;
    const int64_t expectedHeight = std::min(rowsLeft, stripRows);
    ScanlineBytes_ = ImageInfo_.RowBytes;
    if (int64_t(info.image_width) != ImageInfo_.ImageWidth || int64_t(info.image_height) != expectedHeight)
        throw EGraphicCompression(gesJPEGStripSize);
    const bool chunky = ImageInfo_.PlaneLayout == 1;
    const int expectedComponents = chunky ? ImageInfo_.SampleCount : 1;
    if (info.num_components != expectedComponents) throw EGraphicCompression(gesJPEGComponentCount);
    if (info.data_precision != ImageInfo_.SampleBits) throw EGraphicCompression(gesJPEGDataPrecision);
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& component = info.comp_info[i];
        const bool first = i == 0 && chunky;
        const int h = first ? ChromaH_ : 1;
        const int v = first ? ChromaV_ : 1;
        if (component.h_samp_factor != h || component.v_samp_factor != v)
            throw EGraphicCompression(gesJPEGSamplingFactors);
    }

    // Colour strips are delivered blue first; grey strips and other component counts as stored.
    if (info.num_components == 3) {
        info.jpeg_color_space = ImageInfo_.ColorModel == cmYCbCr ? JCS_YCbCr : JCS_RGB;
        info.out_color_space = JCS_EXT_BGR;
    } else if (info.num_components == 1) {
        info.jpeg_color_space = JCS_GRAYSCALE;
        info.out_color_space = JCS_GRAYSCALE;
    } else {
        info.jpeg_color_space = JCS_UNKNOWN;
        info.out_color_space = JCS_UNKNOWN;
    }
    info.raw_data_out = FALSE;
    Guarded(state, [&] { jpeg_start_decompress(&info); });

    const uint32_t targetLength = TargetLength > 0 && Target ? uint32_t(TargetLength) : 0;
    if (ScanlineBytes_ == 0 || targetLength % ScanlineBytes_ != 0) {
        jpeg_abort_decompress(&info);
        throw EGraphicCompression(gesJPEGFractionalLine);
    }
    const uint32_t rows = targetLength / ScanlineBytes_;

    // The library writes whole decoded rows; when they are not exactly ScanlineBytes long they go
    // through a row buffer, so the target never receives more than its rows.
    const size_t decodedRow = size_t(info.output_width) * size_t(info.output_components);
    std::vector<JSAMPLE> rowBuffer;
    if (decodedRow != ScanlineBytes_) rowBuffer.resize(decodedRow);
    uint8_t* row = static_cast<uint8_t*>(Target);
    for (uint32_t y = 0; y < rows; ++y, row += ScanlineBytes_) {
        JSAMPROW line = rowBuffer.empty() ? row : rowBuffer.data();
        JDIMENSION read = 0;
        Guarded(state, [&] { read = jpeg_read_scanlines(&info, &line, 1); });
        if (read != 1) break;
        if (!rowBuffer.empty()) std::memcpy(row, rowBuffer.data(), std::min<size_t>(decodedRow, ScanlineBytes_));
    }

    // A strip that filled the target completely is finished normally (reading up to its end
    // marker); otherwise the rest of it is dropped.
    if (info.output_scanline >= info.output_height)
        Guarded(state, [&] { jpeg_finish_decompress(&info); });
    else
        jpeg_abort_decompress(&info);
}
