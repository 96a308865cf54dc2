// The few Windows Runtime interfaces the page renderer calls, declared by hand: mingw-w64
// ships no windows.data.pdf.h or windows.graphics.imaging.h, and its windows.storage*.h and
// windows.foundation.h lack the interfaces below. Only the methods called are named; the
// others are placeholders that keep each vtable's order.
//
// Interface IIDs and method order are those of the published Windows metadata
// (Windows.Foundation.winmd, Windows.Storage.winmd, Windows.Data.Pdf.winmd and
// Windows.Graphics.Imaging.winmd of the Windows 10 SDK, as its winrt/*.h headers carry them).
// The IIDs of instantiated generic interfaces (IAsyncOperation<T> and its handler, IMap and
// IIterable) are not in the metadata: they are derived from each instance's type signature by
// the Windows Runtime rule (SHA-1 name-based UUID in the namespace
// 11f47ad5-7b73-42c0-abae-878b1e16adee); the signature is given beside each. The rule was
// checked against IAsyncOperation<Boolean>, whose IID mingw-w64's windows.foundation.h has.
#pragma once

#include <windows.h>

#include <asyncinfo.h>
#include <inspectable.h>
#include <winstring.h>

namespace vyrender::winrt {

// A vtable slot the renderer never calls.
#define VY_WINRT_UNUSED(name) virtual HRESULT STDMETHODCALLTYPE name() = 0

// ---- Windows.Foundation ----------------------------------------------------------------

struct Size {
  FLOAT Width;
  FLOAT Height;
};
struct Color {  // Windows.UI.Color
  BYTE A, R, G, B;
};
enum PropertyType : INT32 { PropertyType_Single = 8 };

// IAsyncInfo, {00000036-0000-0000-c000-000000000046} (asyncinfo.h declares it, but no
// mingw-w64 library defines its IID).
inline constexpr GUID IID_AsyncInfo = {
    0x00000036, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IAsyncAction;
// AsyncActionCompletedHandler, {a4ed5c81-76c9-40bd-8be6-b1d90fb20ae7} (Windows.Foundation.winmd).
inline constexpr GUID IID_AsyncActionCompletedHandler = {
    0xa4ed5c81, 0x76c9, 0x40bd, {0x8b, 0xe6, 0xb1, 0xd9, 0x0f, 0xb2, 0x0a, 0xe7}};
struct AsyncActionCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IAsyncAction* action, AsyncStatus status) = 0;
};
// IAsyncAction, {5a648006-843a-4da9-865b-9d26e5dfad7b} (Windows.Foundation.winmd).
struct IAsyncAction : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Completed(AsyncActionCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(AsyncActionCompletedHandler** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults() = 0;
};

template <typename Result>
struct IAsyncOperation;
template <typename Result>
struct AsyncOperationCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IAsyncOperation<Result>* operation, AsyncStatus status) = 0;
};
// IAsyncOperation`1, {9fc2b0bb-e446-44e2-aa61-9cab8f636af2}; its handler
// AsyncOperationCompletedHandler`1, {fcdcf02c-e5d8-4478-915a-4d90b74b83a5}
// (Windows.Foundation.winmd). AsyncIids<Result> names each instance's pair.
template <typename Result>
struct IAsyncOperation : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Completed(AsyncOperationCompletedHandler<Result>* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(AsyncOperationCompletedHandler<Result>** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(Result* results) = 0;
};
template <typename Result>
struct AsyncIids;

// IPropertyValueStatics, {629bdbc8-d932-4ff4-96b9-8d96c5c1e858} (Windows.Foundation.winmd),
// activation factory of Windows.Foundation.PropertyValue.
inline constexpr GUID IID_IPropertyValueStatics = {
    0x629bdbc8, 0xd932, 0x4ff4, {0x96, 0xb9, 0x8d, 0x96, 0xc5, 0xc1, 0xe8, 0x58}};
struct IPropertyValueStatics : IInspectable {
  VY_WINRT_UNUSED(CreateEmpty);
  VY_WINRT_UNUSED(CreateUInt8);
  VY_WINRT_UNUSED(CreateInt16);
  VY_WINRT_UNUSED(CreateUInt16);
  VY_WINRT_UNUSED(CreateInt32);
  VY_WINRT_UNUSED(CreateUInt32);
  VY_WINRT_UNUSED(CreateInt64);
  VY_WINRT_UNUSED(CreateUInt64);
  virtual HRESULT STDMETHODCALLTYPE CreateSingle(FLOAT value, IInspectable** propertyValue) = 0;
};

// ---- Windows.Storage and Windows.Storage.Streams ---------------------------------------

// IStorageFile, {fa3f6186-4214-428c-a64c-14c9ac7315ea} (Windows.Storage.winmd): the default
// interface of StorageFile, handed on unopened.
struct IStorageFile : IInspectable {};

// IStorageFileStatics, {5984c710-daf2-43c8-8bb4-a4d3eacfd03f} (Windows.Storage.winmd).
inline constexpr GUID IID_IStorageFileStatics = {
    0x5984c710, 0xdaf2, 0x43c8, {0x8b, 0xb4, 0xa4, 0xd3, 0xea, 0xcf, 0xd0, 0x3f}};
struct IStorageFileStatics : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetFileFromPathAsync(HSTRING path,
                                                         IAsyncOperation<IStorageFile*>** operation) = 0;
};

// IInputStream, {905a0fe2-bc53-11df-8c49-001e4fc686da} (Windows.Storage.winmd).
inline constexpr GUID IID_IInputStream = {
    0x905a0fe2, 0xbc53, 0x11df, {0x8c, 0x49, 0x00, 0x1e, 0x4f, 0xc6, 0x86, 0xda}};
struct IInputStream : IInspectable {};

// IRandomAccessStream, {905a0fe1-bc53-11df-8c49-001e4fc686da} (Windows.Storage.winmd): the
// default interface of InMemoryRandomAccessStream.
inline constexpr GUID IID_IRandomAccessStream = {
    0x905a0fe1, 0xbc53, 0x11df, {0x8c, 0x49, 0x00, 0x1e, 0x4f, 0xc6, 0x86, 0xda}};
struct IRandomAccessStream : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Size(UINT64* value) = 0;
  VY_WINRT_UNUSED(put_Size);
  VY_WINRT_UNUSED(GetInputStreamAt);
  VY_WINRT_UNUSED(GetOutputStreamAt);
  VY_WINRT_UNUSED(get_Position);
  virtual HRESULT STDMETHODCALLTYPE Seek(UINT64 position) = 0;
};

// IDataReader, {e2b50029-b4c1-4314-a4b8-fb813a2f275e} (Windows.Storage.winmd). LoadAsync
// gives a DataReaderLoadOperation, whose default interface is IAsyncOperation<UInt32>.
struct IDataReader : IInspectable {
  VY_WINRT_UNUSED(get_UnconsumedBufferLength);
  VY_WINRT_UNUSED(get_UnicodeEncoding);
  VY_WINRT_UNUSED(put_UnicodeEncoding);
  VY_WINRT_UNUSED(get_ByteOrder);
  VY_WINRT_UNUSED(put_ByteOrder);
  VY_WINRT_UNUSED(get_InputStreamOptions);
  VY_WINRT_UNUSED(put_InputStreamOptions);
  VY_WINRT_UNUSED(ReadByte);
  virtual HRESULT STDMETHODCALLTYPE ReadBytes(UINT32 size, BYTE* value) = 0;
  VY_WINRT_UNUSED(ReadBuffer);
  VY_WINRT_UNUSED(ReadBoolean);
  VY_WINRT_UNUSED(ReadGuid);
  VY_WINRT_UNUSED(ReadInt16);
  VY_WINRT_UNUSED(ReadInt32);
  VY_WINRT_UNUSED(ReadInt64);
  VY_WINRT_UNUSED(ReadUInt16);
  VY_WINRT_UNUSED(ReadUInt32);
  VY_WINRT_UNUSED(ReadUInt64);
  VY_WINRT_UNUSED(ReadSingle);
  VY_WINRT_UNUSED(ReadDouble);
  VY_WINRT_UNUSED(ReadString);
  VY_WINRT_UNUSED(ReadDateTime);
  VY_WINRT_UNUSED(ReadTimeSpan);
  virtual HRESULT STDMETHODCALLTYPE LoadAsync(UINT32 count, IAsyncOperation<UINT32>** operation) = 0;
};

// IDataReaderFactory, {d7527847-57da-4e15-914c-06806699a098} (Windows.Storage.winmd).
inline constexpr GUID IID_IDataReaderFactory = {
    0xd7527847, 0x57da, 0x4e15, {0x91, 0x4c, 0x06, 0x80, 0x66, 0x99, 0xa0, 0x98}};
struct IDataReaderFactory : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateDataReader(IInputStream* stream, IDataReader** reader) = 0;
};

// ---- Windows.Data.Pdf ------------------------------------------------------------------

// IPdfPageRenderOptions, {3c98056f-b7cf-4c29-9a04-52d90267f425} (Windows.Data.Pdf.winmd).
inline constexpr GUID IID_IPdfPageRenderOptions = {
    0x3c98056f, 0xb7cf, 0x4c29, {0x9a, 0x04, 0x52, 0xd9, 0x02, 0x67, 0xf4, 0x25}};
struct IPdfPageRenderOptions : IInspectable {
  VY_WINRT_UNUSED(get_SourceRect);
  VY_WINRT_UNUSED(put_SourceRect);
  VY_WINRT_UNUSED(get_DestinationWidth);
  virtual HRESULT STDMETHODCALLTYPE put_DestinationWidth(UINT32 value) = 0;
  VY_WINRT_UNUSED(get_DestinationHeight);
  virtual HRESULT STDMETHODCALLTYPE put_DestinationHeight(UINT32 value) = 0;
  VY_WINRT_UNUSED(get_BackgroundColor);
  virtual HRESULT STDMETHODCALLTYPE put_BackgroundColor(Color value) = 0;
};

// IPdfPage, {9db4b0c8-5320-4cfc-ad76-493fdad0e594} (Windows.Data.Pdf.winmd).
struct IPdfPage : IInspectable {
  VY_WINRT_UNUSED(RenderToStreamAsync);
  virtual HRESULT STDMETHODCALLTYPE RenderWithOptionsToStreamAsync(IRandomAccessStream* stream,
                                                                   IPdfPageRenderOptions* options,
                                                                   IAsyncAction** action) = 0;
  VY_WINRT_UNUSED(PreparePageAsync);
  VY_WINRT_UNUSED(get_Index);
  virtual HRESULT STDMETHODCALLTYPE get_Size(Size* value) = 0;
};

// IPdfDocument, {ac7ebedd-80fa-4089-846e-81b77ff5a86c} (Windows.Data.Pdf.winmd).
struct IPdfDocument : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetPage(UINT32 index, IPdfPage** page) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PageCount(UINT32* value) = 0;
};

// IPdfDocumentStatics, {433a0b5f-c007-4788-90f2-08143d922599} (Windows.Data.Pdf.winmd).
inline constexpr GUID IID_IPdfDocumentStatics = {
    0x433a0b5f, 0xc007, 0x4788, {0x90, 0xf2, 0x08, 0x14, 0x3d, 0x92, 0x25, 0x99}};
struct IPdfDocumentStatics : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE LoadFromFileAsync(IStorageFile* file,
                                                      IAsyncOperation<IPdfDocument*>** operation) = 0;
};

// ---- Windows.Graphics.Imaging ----------------------------------------------------------

enum BitmapPixelFormat : INT32 { BitmapPixelFormat_Bgra8 = 87 };
enum BitmapAlphaMode : INT32 { BitmapAlphaMode_Premultiplied = 0, BitmapAlphaMode_Ignore = 2 };
enum ExifOrientationMode : INT32 { ExifOrientationMode_IgnoreExifOrientation = 0 };
enum ColorManagementMode : INT32 { ColorManagementMode_DoNotColorManage = 0 };

// IBitmapTransform, {ae755344-e268-4d35-adcf-e995d31a8d34} (Windows.Graphics.Imaging.winmd).
inline constexpr GUID IID_IBitmapTransform = {
    0xae755344, 0xe268, 0x4d35, {0xad, 0xcf, 0xe9, 0x95, 0xd3, 0x1a, 0x8d, 0x34}};
struct IBitmapTransform : IInspectable {};

// IPixelDataProvider, {dd831f25-185c-4595-9fb9-ccbe6ec18a6f} (Windows.Graphics.Imaging.winmd).
struct IPixelDataProvider : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE DetachPixelData(UINT32* size, BYTE** data) = 0;
};

// IBitmapFrame, {72a49a1c-8081-438d-91bc-94ecfc8185c6} (Windows.Graphics.Imaging.winmd);
// BitmapDecoder implements it for its first frame.
inline constexpr GUID IID_IBitmapFrame = {
    0x72a49a1c, 0x8081, 0x438d, {0x91, 0xbc, 0x94, 0xec, 0xfc, 0x81, 0x85, 0xc6}};
struct IBitmapFrame : IInspectable {
  VY_WINRT_UNUSED(GetThumbnailAsync);
  VY_WINRT_UNUSED(get_BitmapProperties);
  VY_WINRT_UNUSED(get_BitmapPixelFormat);
  VY_WINRT_UNUSED(get_BitmapAlphaMode);
  VY_WINRT_UNUSED(get_DpiX);
  VY_WINRT_UNUSED(get_DpiY);
  virtual HRESULT STDMETHODCALLTYPE get_PixelWidth(UINT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PixelHeight(UINT32* value) = 0;
  VY_WINRT_UNUSED(get_OrientedPixelWidth);
  VY_WINRT_UNUSED(get_OrientedPixelHeight);
  VY_WINRT_UNUSED(GetPixelDataAsync);
  virtual HRESULT STDMETHODCALLTYPE
  GetPixelDataTransformedAsync(BitmapPixelFormat format, BitmapAlphaMode alpha, IBitmapTransform* transform,
                               ExifOrientationMode orientation, ColorManagementMode colorManagement,
                               IAsyncOperation<IPixelDataProvider*>** operation) = 0;
};

// IBitmapDecoder, {acef22ba-1d74-4c91-9dfc-9620745233e6} (Windows.Graphics.Imaging.winmd).
struct IBitmapDecoder : IInspectable {
  VY_WINRT_UNUSED(get_BitmapContainerProperties);
  VY_WINRT_UNUSED(get_DecoderInformation);
  VY_WINRT_UNUSED(get_FrameCount);
  VY_WINRT_UNUSED(GetPreviewAsync);
  virtual HRESULT STDMETHODCALLTYPE GetFrameAsync(UINT32 index,
                                                  IAsyncOperation<IBitmapFrame*>** operation) = 0;
};

// IBitmapDecoderStatics, {438ccb26-bcef-4e95-bad6-23a822e58d01} (Windows.Graphics.Imaging.winmd).
inline constexpr GUID IID_IBitmapDecoderStatics = {
    0x438ccb26, 0xbcef, 0x4e95, {0xba, 0xd6, 0x23, 0xa8, 0x22, 0xe5, 0x8d, 0x01}};
struct IBitmapDecoderStatics : IInspectable {
  VY_WINRT_UNUSED(get_BmpDecoderId);
  VY_WINRT_UNUSED(get_JpegDecoderId);
  VY_WINRT_UNUSED(get_PngDecoderId);
  VY_WINRT_UNUSED(get_TiffDecoderId);
  VY_WINRT_UNUSED(get_GifDecoderId);
  VY_WINRT_UNUSED(get_JpegXRDecoderId);
  VY_WINRT_UNUSED(get_IcoDecoderId);
  VY_WINRT_UNUSED(GetDecoderInformationEnumerator);
  virtual HRESULT STDMETHODCALLTYPE CreateAsync(IRandomAccessStream* stream,
                                                IAsyncOperation<IBitmapDecoder*>** operation) = 0;
};

// IBitmapTypedValue, {cd8044a9-2443-4000-b0cd-79316c56f589} (Windows.Graphics.Imaging.winmd).
struct IBitmapTypedValue : IInspectable {};

// IBitmapTypedValueFactory, {92dbb599-ce13-46bb-9545-cb3a3f63eb8b} (Windows.Graphics.Imaging.winmd).
inline constexpr GUID IID_IBitmapTypedValueFactory = {
    0x92dbb599, 0xce13, 0x46bb, {0x95, 0x45, 0xcb, 0x3a, 0x3f, 0x63, 0xeb, 0x8b}};
struct IBitmapTypedValueFactory : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE Create(IInspectable* value, PropertyType type,
                                           IBitmapTypedValue** result) = 0;
};

// IMap<String, BitmapTypedValue>, the default interface of BitmapPropertySet:
// pinterface({3c2925fe-8519-45c1-aa79-197b6718c1c1};string;
//   rc(Windows.Graphics.Imaging.BitmapTypedValue;{cd8044a9-2443-4000-b0cd-79316c56f589})).
inline constexpr GUID IID_BitmapPropertyMap = {
    0x2c70ef8d, 0x5d4c, 0x5185, {0x8d, 0xb7, 0xfe, 0xd8, 0x77, 0x28, 0x16, 0x5d}};
struct IBitmapPropertyMap : IInspectable {
  VY_WINRT_UNUSED(Lookup);
  VY_WINRT_UNUSED(get_Size);
  VY_WINRT_UNUSED(HasKey);
  VY_WINRT_UNUSED(GetView);
  virtual HRESULT STDMETHODCALLTYPE Insert(HSTRING key, IBitmapTypedValue* value, boolean* replaced) = 0;
};

// IIterable<IKeyValuePair<String, BitmapTypedValue>>, what the encoder takes its options as:
// pinterface({faa585ea-6214-4217-afda-7f46de5869b3};pinterface({02b51929-c1c4-4a7e-8940-0312b5c18500};
//   string;rc(Windows.Graphics.Imaging.BitmapTypedValue;{cd8044a9-2443-4000-b0cd-79316c56f589}))).
inline constexpr GUID IID_BitmapPropertyIterable = {
    0x05f9430c, 0x2f22, 0x5638, {0xaa, 0x89, 0x8c, 0x9a, 0xbc, 0xd5, 0x4f, 0xf9}};
struct IBitmapPropertyIterable : IInspectable {};

// IBitmapEncoder, {2bc468e3-e1f8-4b54-95e8-32919551ce62} (Windows.Graphics.Imaging.winmd).
struct IBitmapEncoder : IInspectable {
  VY_WINRT_UNUSED(get_EncoderInformation);
  VY_WINRT_UNUSED(get_BitmapProperties);
  VY_WINRT_UNUSED(get_BitmapContainerProperties);
  VY_WINRT_UNUSED(get_IsThumbnailGenerated);
  VY_WINRT_UNUSED(put_IsThumbnailGenerated);
  VY_WINRT_UNUSED(get_GeneratedThumbnailWidth);
  VY_WINRT_UNUSED(put_GeneratedThumbnailWidth);
  VY_WINRT_UNUSED(get_GeneratedThumbnailHeight);
  VY_WINRT_UNUSED(put_GeneratedThumbnailHeight);
  VY_WINRT_UNUSED(get_BitmapTransform);
  virtual HRESULT STDMETHODCALLTYPE SetPixelData(BitmapPixelFormat format, BitmapAlphaMode alpha,
                                                 UINT32 width, UINT32 height, DOUBLE dpiX, DOUBLE dpiY,
                                                 UINT32 size, BYTE* pixels) = 0;
  VY_WINRT_UNUSED(GoToNextFrameAsync);
  VY_WINRT_UNUSED(GoToNextFrameWithEncodingOptionsAsync);
  virtual HRESULT STDMETHODCALLTYPE FlushAsync(IAsyncAction** action) = 0;
};

// IBitmapEncoderStatics, {a74356a7-a4e4-4eb9-8e40-564de7e1ccb2} (Windows.Graphics.Imaging.winmd).
inline constexpr GUID IID_IBitmapEncoderStatics = {
    0xa74356a7, 0xa4e4, 0x4eb9, {0x8e, 0x40, 0x56, 0x4d, 0xe7, 0xe1, 0xcc, 0xb2}};
struct IBitmapEncoderStatics : IInspectable {
  VY_WINRT_UNUSED(get_BmpEncoderId);
  virtual HRESULT STDMETHODCALLTYPE get_JpegEncoderId(GUID* value) = 0;
  VY_WINRT_UNUSED(get_PngEncoderId);
  VY_WINRT_UNUSED(get_TiffEncoderId);
  VY_WINRT_UNUSED(get_GifEncoderId);
  VY_WINRT_UNUSED(get_JpegXREncoderId);
  VY_WINRT_UNUSED(GetEncoderInformationEnumerator);
  VY_WINRT_UNUSED(CreateAsync);
  virtual HRESULT STDMETHODCALLTYPE CreateWithEncodingOptionsAsync(
      GUID encoderId, IRandomAccessStream* stream, IBitmapPropertyIterable* options,
      IAsyncOperation<IBitmapEncoder*>** operation) = 0;
};

#undef VY_WINRT_UNUSED

// ---- The instantiated operations -------------------------------------------------------
// Each pair is IAsyncOperation<T>, then AsyncOperationCompletedHandler<T>, from the signature
// pinterface({9fc2b0bb-...}; T) and pinterface({fcdcf02c-...}; T) with T as written.

// T = rc(Windows.Storage.StorageFile;{fa3f6186-4214-428c-a64c-14c9ac7315ea})
template <>
struct AsyncIids<IStorageFile*> {
  static constexpr GUID operation = {
      0x5e52f8ce, 0xaced, 0x5a42, {0x95, 0xb4, 0xf6, 0x74, 0xdd, 0x84, 0x88, 0x5e}};
  static constexpr GUID handler = {
      0xe521c894, 0x2c26, 0x5946, {0x9e, 0x61, 0x2b, 0x5e, 0x18, 0x8d, 0x01, 0xed}};
};
// T = rc(Windows.Data.Pdf.PdfDocument;{ac7ebedd-80fa-4089-846e-81b77ff5a86c})
template <>
struct AsyncIids<IPdfDocument*> {
  static constexpr GUID operation = {
      0xd6b166ec, 0x099a, 0x5ee2, {0xad, 0x2e, 0xf4, 0xc8, 0x86, 0x14, 0xaa, 0xbb}};
  static constexpr GUID handler = {
      0x8d4950b3, 0x629d, 0x5d7d, {0x84, 0xcc, 0x04, 0xc0, 0xdc, 0xf7, 0x94, 0x2b}};
};
// T = rc(Windows.Graphics.Imaging.BitmapDecoder;{acef22ba-1d74-4c91-9dfc-9620745233e6})
template <>
struct AsyncIids<IBitmapDecoder*> {
  static constexpr GUID operation = {
      0xaa94d8e9, 0xcaef, 0x53f6, {0x82, 0x3d, 0x91, 0xb6, 0xe8, 0x34, 0x05, 0x10}};
  static constexpr GUID handler = {
      0xbb6514f2, 0x3cfb, 0x566f, {0x82, 0xbc, 0x60, 0xaa, 0xbd, 0x30, 0x2d, 0x53}};
};
// T = rc(Windows.Graphics.Imaging.BitmapFrame;{72a49a1c-8081-438d-91bc-94ecfc8185c6})
template <>
struct AsyncIids<IBitmapFrame*> {
  static constexpr GUID operation = {
      0xcb1483d1, 0x1464, 0x5bf9, {0x93, 0x46, 0xd5, 0x37, 0x73, 0x5d, 0xfb, 0xd6}};
  static constexpr GUID handler = {
      0x2817455a, 0x983f, 0x5a06, {0x9f, 0xe4, 0xfb, 0x96, 0x37, 0x68, 0x43, 0x20}};
};
// T = rc(Windows.Graphics.Imaging.PixelDataProvider;{dd831f25-185c-4595-9fb9-ccbe6ec18a6f})
template <>
struct AsyncIids<IPixelDataProvider*> {
  static constexpr GUID operation = {
      0x8c2dfeb0, 0x6c22, 0x5863, {0x88, 0xd8, 0x85, 0xc1, 0xfb, 0xc7, 0x56, 0x97}};
  static constexpr GUID handler = {
      0x37bdf4be, 0x2f39, 0x592c, {0xa4, 0xf7, 0xd1, 0x6a, 0x09, 0xd2, 0xb2, 0xdb}};
};
// T = rc(Windows.Graphics.Imaging.BitmapEncoder;{2bc468e3-e1f8-4b54-95e8-32919551ce62})
template <>
struct AsyncIids<IBitmapEncoder*> {
  static constexpr GUID operation = {
      0x151bd1c5, 0x4675, 0x5af5, {0xa2, 0x89, 0x00, 0x1e, 0xdc, 0x66, 0xb8, 0x6a}};
  static constexpr GUID handler = {
      0x5df1afc5, 0x478d, 0x55dd, {0xb3, 0x17, 0x02, 0x42, 0x74, 0x06, 0x2a, 0x0d}};
};
// T = u4 (UInt32)
template <>
struct AsyncIids<UINT32> {
  static constexpr GUID operation = {
      0xef60385f, 0xbe78, 0x584b, {0xaa, 0xef, 0x78, 0x29, 0xad, 0xa2, 0xb0, 0xde}};
  static constexpr GUID handler = {
      0x9343b6e7, 0xe3d2, 0x5e4a, {0xab, 0x2d, 0x2b, 0xce, 0x49, 0x19, 0xa6, 0xa4}};
};

// IRestrictedErrorInfo, {82ba7092-4c88-427d-a7bc-16dd93feb67e} (restrictederrorinfo.idl of
// the Windows SDK): the error information a failing Windows Runtime call leaves behind.
inline constexpr GUID IID_IRestrictedErrorInfo = {
    0x82ba7092, 0x4c88, 0x427d, {0xa7, 0xbc, 0x16, 0xdd, 0x93, 0xfe, 0xb6, 0x7e}};
struct IRestrictedErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                                    BSTR* restrictedDescription, BSTR* capabilitySid) = 0;
};

}  // namespace vyrender::winrt

extern "C" HRESULT WINAPI GetRestrictedErrorInfo(vyrender::winrt::IRestrictedErrorInfo** info);
