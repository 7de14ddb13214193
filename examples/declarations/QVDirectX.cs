// P/Invoke declarations of QVDirectX.dll for .NET hosts (C#).
//
// The process's bitness picks the DLL: an x86 process loads the 32-bit QVDirectX.dll,
// an x64 process the 64-bit one. On x86 the functions are __stdcall; on x64 the
// calling convention below changes nothing.
//
// Paths are ANSI strings (the system code page). A path with a character that code page
// can't hold throws ArgumentException instead of being mapped to a similar name.
// Frames are byte arrays of width * height * 3 bytes (see DSCameraGetImageSize).
using System;
using System.Runtime.InteropServices;

namespace QVDirectX
{
    public static class NativeMethods
    {
        public const string DllName = "QVDirectX.dll";

        // File types of DSCameraImageSave (exact codes, not bits).
        public const int FileJpeg = 1;
        public const int FileBmp = 2;
        public const int FileRaw = 4;
        public const int FileTiff = 8;

        // Builds the capture graph for device deviceIndex (its position in the list
        // DSCameraRegisterpixel gives); 1 when built, 0 otherwise.
        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSCameraInit(byte deviceIndex, IntPtr hostWindow);

        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSCameraUnInit();

        // 1 when the run request answered S_FALSE, 2 otherwise.
        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSCameraPlay();

        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSCameraStop();

        // buffer: at least width * height * 3 bytes; left untouched until a frame arrived.
        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSGrabFrame([Out] byte[] buffer);

        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi,
                   ExactSpelling = true, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern int DSCameraCaptureFile([MarshalAs(UnmanagedType.LPStr)] string path);

        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSCameraGetImageSize(out int width, out int height);

        // frame: width * height * 3 bytes, only read; fileType: FileJpeg, FileBmp, FileRaw
        // or FileTiff (appended as a page).
        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi,
                   ExactSpelling = true, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        public static extern int DSCameraImageSave([In] byte[] frame, int fileType, int width, int height,
                                                   [MarshalAs(UnmanagedType.LPStr)] string path);

        // comboBox: a combo box's window handle (ComboBox.Handle); the number of names
        // added, or -1 when the device enumerator can't be created.
        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSCameraRegisterpixel(IntPtr comboBox);

        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSProperty();

        [DllImport(DllName, CallingConvention = CallingConvention.StdCall, ExactSpelling = true)]
        public static extern int DSResolution();
    }
}
