// The page renderer on the Windows Runtime: Windows.Data.Pdf draws the page into an in-memory
// image stream, Windows.Graphics.Imaging decodes it to pixels and encodes JPEG files. Every
// call runs on the document's worker, which joins the multithreaded apartment on its first
// call (the open) and leaves it when the renderer is released there.
#include <windows.h>

#include <roapi.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "render/engine/page_renderer.h"
#include "render/engine/platform.h"
#include "render/engine/winrt_pdf.h"

namespace vyrender {
namespace {

using namespace winrt;

// Ref holds one reference to a Windows Runtime object.
template <typename T>
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  template <typename U>
  HRESULT As(const GUID& iid, Ref<U>* out) const {
    return p_->QueryInterface(iid, out->put_void());
  }

 private:
  T* p_ = nullptr;
};

// Name is an HSTRING made with WindowsCreateString.
class Name {
 public:
  explicit Name(const std::wstring& text) {
    if (FAILED(WindowsCreateString(text.c_str(), static_cast<UINT32>(text.size()), &value_)))
      value_ = nullptr;
  }
  Name(const Name&) = delete;
  Name& operator=(const Name&) = delete;
  ~Name() {
    if (value_) WindowsDeleteString(value_);
  }
  HSTRING get() const { return value_; }

 private:
  HSTRING value_ = nullptr;
};

// Describe is the text of a failed call, in Spanish whatever the system's language: the known
// causes by name, any other by its code. (The Windows Runtime's own descriptions come in the
// language of the system, often English.)
std::string Describe(HRESULT failure) {
  struct Known {
    HRESULT code;
    const char* text;
  };
  static const Known kKnown[] = {
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "No se encuentra el archivo PDF."},
      {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "No se encuentra el archivo PDF."},
      {E_ACCESSDENIED, "Windows no permite leer el archivo."},
      {HRESULT_FROM_WIN32(ERROR_WRONG_PASSWORD), "El PDF esta protegido con contrasena."},
      {HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "El archivo no es un PDF valido o esta danado."},
      {HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT), "El archivo no es un PDF valido o esta danado."},
      {E_OUTOFMEMORY, "Sin memoria."},
      {REGDB_E_CLASSNOTREG, "Este Windows no tiene el lector de PDF del sistema (Windows.Data.Pdf)."},
  };
  for (const Known& known : kKnown) {
    if (known.code == failure) return known.text;
  }
  char text[96];
  std::snprintf(text, sizeof text, "Windows no pudo leer el PDF (error 0x%08lX).",
                static_cast<unsigned long>(static_cast<uint32_t>(failure)));
  return text;
}

// Completion is the handler an asynchronous call reports to: it records the final status and
// wakes the waiting worker. It is agile, so the platform calls it from whatever thread ends
// the operation.
template <typename Handler, typename Sender>
class Completion final : public Handler {
 public:
  Completion(const GUID& iid, HANDLE done) : iid_(iid), done_(done) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IAgileObject || iid == iid_) {
      *out = static_cast<Handler*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Sender*, AsyncStatus status) override {
    status_ = status;
    SetEvent(done_);
    return S_OK;
  }
  AsyncStatus status() const { return status_; }

 private:
  GUID iid_;
  HANDLE done_;
  std::atomic<ULONG> references_{1};
  std::atomic<AsyncStatus> status_{Started};
};

// Settle blocks until the operation has ended, unless it already has. A cancelled operation
// is a failure; otherwise the caller's GetResults reports the operation's own error.
template <typename Handler, typename Operation>
HRESULT Settle(Operation* operation, const GUID& handlerIid) {
  Ref<IAsyncInfo> info;
  HRESULT hr = operation->QueryInterface(IID_AsyncInfo, info.put_void());
  if (FAILED(hr)) return hr;
  AsyncStatus status = Started;
  if (FAILED(hr = info->get_Status(&status))) return hr;
  if (status == Started) {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!done) return HRESULT_FROM_WIN32(GetLastError());
    auto* handler = new (std::nothrow) Completion<Handler, Operation>(handlerIid, done);
    hr = handler ? operation->put_Completed(handler) : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) {
      WaitForSingleObject(done, INFINITE);
      status = handler->status();
    }
    if (handler) handler->Release();
    CloseHandle(done);
    if (FAILED(hr)) return hr;
  }
  return status == Canceled ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
}

HRESULT Await(IAsyncAction* action) {
  HRESULT hr = Settle<AsyncActionCompletedHandler>(action, IID_AsyncActionCompletedHandler);
  return FAILED(hr) ? hr : action->GetResults();
}

template <typename Result>
HRESULT Await(IAsyncOperation<Result>* operation, Result* result) {
  HRESULT hr = Settle<AsyncOperationCompletedHandler<Result>>(operation, AsyncIids<Result>::handler);
  return FAILED(hr) ? hr : operation->GetResults(result);
}

template <typename T>
HRESULT Factory(const wchar_t* className, const GUID& iid, Ref<T>* factory) {
  Name name(className);
  return name.get() ? RoGetActivationFactory(name.get(), iid, factory->put_void()) : E_OUTOFMEMORY;
}

template <typename T>
HRESULT Activate(const wchar_t* className, const GUID& iid, Ref<T>* object) {
  Name name(className);
  if (!name.get()) return E_OUTOFMEMORY;
  Ref<IInspectable> instance;
  HRESULT hr = RoActivateInstance(name.get(), instance.put());
  return FAILED(hr) ? hr : instance.As(iid, object);
}

// Pixels are the decoded page: B, G, R, A bytes from the task allocator.
struct Pixels {
  BYTE* data = nullptr;
  UINT32 size = 0;
  UINT32 width = 0;
  UINT32 height = 0;
  Pixels() = default;
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  ~Pixels() { CoTaskMemFree(data); }
};

class WinRtRenderer final : public PageRenderer {
 public:
  ~WinRtRenderer() override {
    document_.reset();  // on the worker, inside its apartment
    if (joined_) RoUninitialize();
  }

  bool Open(const std::string& path, std::string* message) override {
    Join();
    const std::wstring full = platform::FullPath(path);
    Name name(full);
    Ref<IStorageFileStatics> files;
    Ref<IAsyncOperation<IStorageFile*>> finding;
    Ref<IStorageFile> file;
    Ref<IPdfDocumentStatics> documents;
    Ref<IAsyncOperation<IPdfDocument*>> loading;
    HRESULT hr = full.empty() ? E_INVALIDARG : name.get() ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = Factory(L"Windows.Storage.StorageFile", IID_IStorageFileStatics, &files);
    if (SUCCEEDED(hr)) hr = files->GetFileFromPathAsync(name.get(), finding.put());
    if (SUCCEEDED(hr)) hr = Await(finding.get(), file.put());
    if (SUCCEEDED(hr)) hr = Factory(L"Windows.Data.Pdf.PdfDocument", IID_IPdfDocumentStatics, &documents);
    if (SUCCEEDED(hr)) hr = documents->LoadFromFileAsync(file.get(), loading.put());
    if (SUCCEEDED(hr)) hr = Await(loading.get(), document_.put());
    if (FAILED(hr)) return Fail(hr, message);
    if (!document_) {
      *message = "No se pudo abrir el PDF.";
      return false;
    }
    UINT32 count = 0;
    if (FAILED(hr = document_->get_PageCount(&count))) return Fail(hr, message);
    pageCount_ = count > 0x7FFFFFFF ? 0 : static_cast<int>(count);
    if (pageCount_ == 0) document_.reset();  // the open task then says "El PDF no tiene hojas."
    return true;
  }

  int PageCount() override { return pageCount_; }

  bool PageSize(int index, float* width, float* height, std::string* message) override {
    Ref<IPdfPage> page;
    Size size = {};
    HRESULT hr = Page(index, &page);
    if (SUCCEEDED(hr)) hr = page->get_Size(&size);
    if (FAILED(hr)) return Fail(hr, message);
    // The Windows Runtime measures pages in device-independent pixels, 96 to the inch.
    *width = size.Width * 72.0f / 96.0f;
    *height = size.Height * 72.0f / 96.0f;
    return true;
  }

  bool Render(int index, int width, int height, Raster* raster, std::string* message) override {
    Pixels pixels;
    if (!RenderPixels(index, width, height, &pixels, message)) return false;
    if (!raster->Allocate(static_cast<int>(pixels.width), static_cast<int>(pixels.height))) {
      *message = "Sin memoria.";
      return false;
    }
    const BYTE* in = pixels.data;
    uint8_t* out = raster->pixels.get();
    for (size_t i = 0; i < raster->size; i += 4) {
      out[i] = in[i + 2];
      out[i + 1] = in[i + 1];
      out[i + 2] = in[i];
      out[i + 3] = 255;
    }
    return true;
  }

  bool EncodeJpeg(const Raster& raster, int quality, std::vector<uint8_t>* jpeg,
                  std::string* message) override {
    // The encoder takes the decoder's own byte order.
    std::vector<BYTE> bgra(raster.size);
    const uint8_t* in = raster.pixels.get();
    for (size_t i = 0; i < raster.size; i += 4) {
      bgra[i] = in[i + 2];
      bgra[i + 1] = in[i + 1];
      bgra[i + 2] = in[i];
      bgra[i + 3] = 255;
    }
    Ref<IRandomAccessStream> stream;
    Ref<IBitmapPropertyMap> options;
    Ref<IBitmapPropertyIterable> optionList;
    Ref<IPropertyValueStatics> values;
    Ref<IInspectable> qualityValue;
    Ref<IBitmapTypedValueFactory> typedValues;
    Ref<IBitmapTypedValue> typedQuality;
    Ref<IBitmapEncoderStatics> encoders;
    Ref<IAsyncOperation<IBitmapEncoder*>> creating;
    Ref<IBitmapEncoder> encoder;
    Ref<IAsyncAction> flushing;
    Name key(L"ImageQuality");
    GUID jpegId = {};
    boolean replaced = false;
    HRESULT hr = key.get() ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
      hr = Activate(L"Windows.Storage.Streams.InMemoryRandomAccessStream", IID_IRandomAccessStream, &stream);
    if (SUCCEEDED(hr))
      hr = Activate(L"Windows.Graphics.Imaging.BitmapPropertySet", IID_BitmapPropertyMap, &options);
    if (SUCCEEDED(hr)) hr = Factory(L"Windows.Foundation.PropertyValue", IID_IPropertyValueStatics, &values);
    if (SUCCEEDED(hr)) hr = values->CreateSingle(static_cast<float>(quality) / 100.0f, qualityValue.put());
    if (SUCCEEDED(hr))
      hr = Factory(L"Windows.Graphics.Imaging.BitmapTypedValue", IID_IBitmapTypedValueFactory, &typedValues);
    if (SUCCEEDED(hr)) hr = typedValues->Create(qualityValue.get(), PropertyType_Single, typedQuality.put());
    if (SUCCEEDED(hr)) hr = options->Insert(key.get(), typedQuality.get(), &replaced);
    if (SUCCEEDED(hr)) hr = options.As(IID_BitmapPropertyIterable, &optionList);
    if (SUCCEEDED(hr))
      hr = Factory(L"Windows.Graphics.Imaging.BitmapEncoder", IID_IBitmapEncoderStatics, &encoders);
    if (SUCCEEDED(hr)) hr = encoders->get_JpegEncoderId(&jpegId);
    if (SUCCEEDED(hr))
      hr = encoders->CreateWithEncodingOptionsAsync(jpegId, stream.get(), optionList.get(), creating.put());
    if (SUCCEEDED(hr)) hr = Await(creating.get(), encoder.put());
    if (SUCCEEDED(hr))
      hr = encoder->SetPixelData(BitmapPixelFormat_Bgra8, BitmapAlphaMode_Ignore,
                                 static_cast<UINT32>(raster.width), static_cast<UINT32>(raster.height), 96.0,
                                 96.0, static_cast<UINT32>(bgra.size()), bgra.data());
    if (SUCCEEDED(hr)) hr = encoder->FlushAsync(flushing.put());
    if (SUCCEEDED(hr)) hr = Await(flushing.get());
    if (SUCCEEDED(hr)) hr = ReadStream(stream.get(), jpeg);
    return SUCCEEDED(hr) || Fail(hr, message);
  }

 private:
  // Join enters the multithreaded apartment once, on the worker. A thread already in another
  // apartment keeps it; only a successful join is balanced by RoUninitialize.
  void Join() {
    if (triedJoin_) return;
    triedJoin_ = true;
    joined_ = SUCCEEDED(RoInitialize(RO_INIT_MULTITHREADED));
  }

  static bool Fail(HRESULT hr, std::string* message) {
    *message = Describe(hr);
    return false;
  }

  HRESULT Page(int index, Ref<IPdfPage>* page) {
    if (!document_ || index < 0 || index >= pageCount_) return E_INVALIDARG;
    return document_->GetPage(static_cast<UINT32>(index), page->put());
  }

  bool RenderPixels(int index, int width, int height, Pixels* pixels, std::string* message) {
    Ref<IPdfPage> page;
    Ref<IPdfPageRenderOptions> options;
    Ref<IRandomAccessStream> stream;
    Ref<IAsyncAction> rendering;
    Ref<IBitmapDecoderStatics> decoders;
    Ref<IAsyncOperation<IBitmapDecoder*>> decoding;
    Ref<IBitmapDecoder> decoder;
    Ref<IBitmapFrame> decoded;
    Ref<IAsyncOperation<IBitmapFrame*>> framing;
    Ref<IBitmapFrame> frame;
    Ref<IBitmapTransform> transform;
    Ref<IAsyncOperation<IPixelDataProvider*>> reading;
    Ref<IPixelDataProvider> provider;
    HRESULT hr = Page(index, &page);
    if (SUCCEEDED(hr))
      hr = Activate(L"Windows.Data.Pdf.PdfPageRenderOptions", IID_IPdfPageRenderOptions, &options);
    if (SUCCEEDED(hr)) hr = options->put_DestinationWidth(static_cast<UINT32>(width));
    if (SUCCEEDED(hr)) hr = options->put_DestinationHeight(static_cast<UINT32>(height));
    if (SUCCEEDED(hr)) hr = options->put_BackgroundColor(Color{255, 255, 255, 255});
    if (SUCCEEDED(hr))
      hr = Activate(L"Windows.Storage.Streams.InMemoryRandomAccessStream", IID_IRandomAccessStream, &stream);
    if (SUCCEEDED(hr))
      hr = page->RenderWithOptionsToStreamAsync(stream.get(), options.get(), rendering.put());
    if (SUCCEEDED(hr)) hr = Await(rendering.get());
    if (SUCCEEDED(hr)) hr = stream->Seek(0);
    if (SUCCEEDED(hr))
      hr = Factory(L"Windows.Graphics.Imaging.BitmapDecoder", IID_IBitmapDecoderStatics, &decoders);
    if (SUCCEEDED(hr)) hr = decoders->CreateAsync(stream.get(), decoding.put());
    if (SUCCEEDED(hr)) hr = Await(decoding.get(), decoder.put());
    if (SUCCEEDED(hr)) hr = decoder.As(IID_IBitmapFrame, &decoded);
    if (SUCCEEDED(hr)) hr = decoded->get_PixelWidth(&pixels->width);
    if (SUCCEEDED(hr)) hr = decoded->get_PixelHeight(&pixels->height);
    if (SUCCEEDED(hr)) hr = decoder->GetFrameAsync(0, framing.put());
    if (SUCCEEDED(hr)) hr = Await(framing.get(), frame.put());
    if (SUCCEEDED(hr))
      hr = Activate(L"Windows.Graphics.Imaging.BitmapTransform", IID_IBitmapTransform, &transform);
    if (SUCCEEDED(hr))
      hr = frame->GetPixelDataTransformedAsync(BitmapPixelFormat_Bgra8, BitmapAlphaMode_Premultiplied,
                                               transform.get(), ExifOrientationMode_IgnoreExifOrientation,
                                               ColorManagementMode_DoNotColorManage, reading.put());
    if (SUCCEEDED(hr)) hr = Await(reading.get(), provider.put());
    if (SUCCEEDED(hr)) hr = provider->DetachPixelData(&pixels->size, &pixels->data);
    if (FAILED(hr)) return Fail(hr, message);
    if (static_cast<UINT64>(pixels->size) != static_cast<UINT64>(pixels->width) * pixels->height * 4 ||
        pixels->width > 0x7FFFFFFF || pixels->height > 0x7FFFFFFF) {
      *message = "El raster de la hoja viene corrupto.";
      return false;
    }
    return true;
  }

  // ReadStream takes the whole stream's bytes through a DataReader.
  static HRESULT ReadStream(IRandomAccessStream* stream, std::vector<uint8_t>* bytes) {
    Ref<IInputStream> input;
    Ref<IDataReaderFactory> readers;
    Ref<IDataReader> reader;
    Ref<IAsyncOperation<UINT32>> loading;
    UINT64 size = 0;
    UINT32 loaded = 0;
    HRESULT hr = stream->Seek(0);
    if (SUCCEEDED(hr)) hr = stream->get_Size(&size);
    if (SUCCEEDED(hr) && size > 0xFFFFFFFFu) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) bytes->assign(static_cast<size_t>(size), 0);
    if (SUCCEEDED(hr)) hr = stream->QueryInterface(IID_IInputStream, input.put_void());
    if (SUCCEEDED(hr)) hr = Factory(L"Windows.Storage.Streams.DataReader", IID_IDataReaderFactory, &readers);
    if (SUCCEEDED(hr)) hr = readers->CreateDataReader(input.get(), reader.put());
    if (SUCCEEDED(hr)) hr = reader->LoadAsync(static_cast<UINT32>(size), loading.put());
    if (SUCCEEDED(hr)) hr = Await(loading.get(), &loaded);
    if (SUCCEEDED(hr) && loaded != size) hr = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    if (SUCCEEDED(hr)) hr = reader->ReadBytes(static_cast<UINT32>(size), bytes->data());
    return hr;
  }

  Ref<IPdfDocument> document_;
  int pageCount_ = 0;
  bool triedJoin_ = false;
  bool joined_ = false;
};

}  // namespace

std::unique_ptr<PageRenderer> CreatePageRenderer() {
  return std::make_unique<WinRtRenderer>();
}

}  // namespace vyrender
