{ Declarations of QVDirectX.dll for Delphi hosts (and Free Pascal in Delphi mode).

  A 32-bit program loads the 32-bit QVDirectX.dll (the i686 build), a 64-bit one the
  64-bit DLL. On 32-bit Windows the functions are stdcall; Delphi's own default
  (register) would not match, so every declaration says stdcall.

  Paths are ANSI strings (the system code page): pass PAnsiChar(AnsiString(Path)).
  Frames are byte buffers of Width * Height * 3 bytes:
      var Frame: array of Byte;
      DSCameraGetImageSize(W, H);
      SetLength(Frame, W * H * 3);
      DSGrabFrame(@Frame[0]);
      DSCameraImageSave(@Frame[0], QVDX_FILE_JPEG, W, H, PAnsiChar(AnsiString(Path))); }
unit QVDirectX;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

uses
  Windows;

const
  QVDirectXDll = 'QVDirectX.dll';

  { File types of DSCameraImageSave (exact codes, not bits). }
  QVDX_FILE_JPEG = 1;
  QVDX_FILE_BMP = 2;
  QVDX_FILE_RAW = 4;
  QVDX_FILE_TIFF = 8;

function DSCameraInit(DeviceIndex: Byte; HostWindow: HWND): Integer; stdcall;
function DSCameraUnInit: Integer; stdcall;
function DSCameraPlay: Integer; stdcall;
function DSCameraStop: Integer; stdcall;
function DSGrabFrame(Buffer: PByte): Integer; stdcall;
function DSCameraCaptureFile(Path: PAnsiChar): Integer; stdcall;
function DSCameraGetImageSize(var Width: Integer; var Height: Integer): Integer; stdcall;
function DSCameraImageSave(Frame: PByte; FileType: Integer; Width: Integer; Height: Integer; Path: PAnsiChar): Integer; stdcall;
function DSCameraRegisterpixel(ComboBox: HWND): Integer; stdcall;
function DSProperty: Integer; stdcall;
function DSResolution: Integer; stdcall;

implementation

function DSCameraInit; external QVDirectXDll name 'DSCameraInit';
function DSCameraUnInit; external QVDirectXDll name 'DSCameraUnInit';
function DSCameraPlay; external QVDirectXDll name 'DSCameraPlay';
function DSCameraStop; external QVDirectXDll name 'DSCameraStop';
function DSGrabFrame; external QVDirectXDll name 'DSGrabFrame';
function DSCameraCaptureFile; external QVDirectXDll name 'DSCameraCaptureFile';
function DSCameraGetImageSize; external QVDirectXDll name 'DSCameraGetImageSize';
function DSCameraImageSave; external QVDirectXDll name 'DSCameraImageSave';
function DSCameraRegisterpixel; external QVDirectXDll name 'DSCameraRegisterpixel';
function DSProperty; external QVDirectXDll name 'DSProperty';
function DSResolution; external QVDirectXDll name 'DSResolution';

end.
