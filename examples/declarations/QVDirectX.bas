Attribute VB_Name = "QVDirectX"
' Declarations of QVDirectX.dll for Visual Basic 6 hosts.
'
' VB6 programs are 32-bit: use the 32-bit QVDirectX.dll (the i686 build), next to the
' program or on the PATH. A Declare calls __stdcall functions only, which these are.
'
' Strings go ByVal As String: VB6 hands the DLL an ANSI copy (the system code page).
' Frames are Byte arrays of width * height * 3 bytes, passed by their first element:
'     Dim w As Long, h As Long
'     DSCameraGetImageSize w, h
'     ReDim frame(0 To w * h * 3 - 1) As Byte
'     DSGrabFrame frame(0)
'     DSCameraImageSave frame(0), QVDX_FILE_JPEG, w, h, "C:\snap.jpg"
' Window handles are Long (Form.hWnd, ComboBox.hWnd).
Option Explicit

' File types of DSCameraImageSave (exact codes, not bits).
Public Const QVDX_FILE_JPEG As Long = 1
Public Const QVDX_FILE_BMP As Long = 2
Public Const QVDX_FILE_RAW As Long = 4
Public Const QVDX_FILE_TIFF As Long = 8

Public Declare Function DSCameraInit Lib "QVDirectX.dll" (ByVal deviceIndex As Byte, ByVal hostWindow As Long) As Long
Public Declare Function DSCameraUnInit Lib "QVDirectX.dll" () As Long
Public Declare Function DSCameraPlay Lib "QVDirectX.dll" () As Long
Public Declare Function DSCameraStop Lib "QVDirectX.dll" () As Long
Public Declare Function DSGrabFrame Lib "QVDirectX.dll" (ByRef buffer As Byte) As Long
Public Declare Function DSCameraCaptureFile Lib "QVDirectX.dll" (ByVal path As String) As Long
Public Declare Function DSCameraGetImageSize Lib "QVDirectX.dll" (ByRef frameWidth As Long, ByRef frameHeight As Long) As Long
Public Declare Function DSCameraImageSave Lib "QVDirectX.dll" (ByRef frame As Byte, ByVal fileType As Long, ByVal frameWidth As Long, ByVal frameHeight As Long, ByVal path As String) As Long
Public Declare Function DSCameraRegisterpixel Lib "QVDirectX.dll" (ByVal comboBox As Long) As Long
Public Declare Function DSProperty Lib "QVDirectX.dll" () As Long
Public Declare Function DSResolution Lib "QVDirectX.dll" () As Long
