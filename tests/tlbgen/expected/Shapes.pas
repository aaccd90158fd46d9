// typelib filename: shapes.tlb

// uid: {5C1D3A70-4B2E-4F60-9A81-0000000000A1}
// version: 2.5
// helpstring: Shapes fixture library
// helpfile: shapes.hlp

unit ShapesLib;

interface

uses Windows, ActiveX, Classes;

type
  // Colours of a shape
  ShapeColour = TOleEnum;
const
  scRed = 0;
  scGreen = 5;
  scBlue = -3;
  scWide = 2147483647;

type
  Lonely = TOleEnum;
const
  lyOnly = 1;

type
  Point = record
    px: LongInt;
    py: LongInt;
  end;

type
  // A grid of cells
  Grid = record
    cells: array[0..3][0..4] of Single;
    labels: WideString;
    origin: Point;
    weights: array of Double;
    visible: WordBool;
  end;

type
  Number = record
  case Integer of
    0: asLong: LongInt;
    1: asDouble: Double;
    2: asText: WideString;
  end;

type
  Location = Point;

type
  LongList = array of LongInt;

type
  // Drawing surface
  // Flags: (256) oleautomation
  ICanvas = interface(IDispatch)
     ['{5C1D3A70-4B2E-4F60-9A81-0000000000A2}']
    procedure Clear: HRESULT;;
    procedure Get_Width(var retval pWidth: LongInt): HRESULT;;
    procedure Set_Width(const pWidth: LongInt): HRESULT;;
    procedure Set_Brush(const Param1: IUnknown): HRESULT;;
    // Draws a shape
    procedure Draw(const shapeId: LongInt; var drawn: LongInt; const var heading: WideString; const optional extra: Variant; repeat: LongIntconst optional  = 42; label: WideStringconst optional  = 'it's'; antialias: WordBoolconst optional  = -1; const lcid localeId: LongInt; var retval result: WideString): HRESULT;;
    procedure Place(const where: Point; const spot: Location; const tags: array of WideString; const cellGrid: Grid; const amount: Number; const numbers: LongList): HRESULT;;
  end;

type
  // Flags: (0)
  IRawValues = interface(IDispatch)
     ['{5C1D3A70-4B2E-4F60-9A81-0000000000A3}']
    function Count: LongInt;;
    procedure Reset;;
    function AnsiName: PChar;;
    function WideName: PWideChar;;
    function Big: Int64;;
    function Stamp: TDateTime;;
    function Status: HRESULT;;
    function Octet: Byte;;
    function Half: Word;;
    function Whole: Cardinal;;
    function Native: Integer;;
    function UNative: DWORD;;
    function Small: SmallInt;;
    function Ratio: Single;;
    function Precise: Double;;
    function Target: IDispatch;;
    function Any: Variant;;
    function Tint: ShapeColour;;
  end;

type
  // A shape
  // Flags: (4160) dual,dispatchable
  IShapeDisp = dispinterface
     ['{5C1D3A70-4B2E-4F60-9A81-0000000000A4}']
    procedure QueryInterface(const riid: GUID; var ppvObj: out); dispid 1610612736;
    function AddRef: Cardinal; dispid 1610612737;
    function Release: Cardinal; dispid 1610612738;
    procedure GetTypeInfoCount(var pctinfo: DWORD); dispid 1610678272;
    procedure GetTypeInfo(const itinfo: DWORD; const lcid: Cardinal; var pptinfo: out); dispid 1610678273;
    procedure GetIDsOfNames(const riid: GUID; const rgszNames: ShortInt; const cNames: DWORD; const lcid: Cardinal; var rgdispid: LongInt); dispid 1610678274;
    procedure Invoke(const dispidMember: LongInt; const riid: GUID; const lcid: Cardinal; const wFlags: Word; const pdispparams: DISPPARAMS; var pvarResult: Variant; var pexcepinfo: EXCEPINFO; var puArgErr: DWORD); dispid 1610678275;
    // The shape's label
    function Get_Caption: WideString; dispid 1;
    // The shape's label
    procedure Set_Caption(const Param1: WideString); dispid 1;
    procedure Move(const dx: LongInt; const dy: LongInt); dispid 2;
    function Get__NewEnum: IUnknown; dispid -4;
  end;

type
  // A shape
  // Flags: (4160) dual,dispatchable
  IShape = interface(IDispatch)
     ['{5C1D3A70-4B2E-4F60-9A81-0000000000A4}']
    procedure QueryInterface(const riid: GUID; var ppvObj: out); dispid 1610612736;
    function AddRef: Cardinal; dispid 1610612737;
    function Release: Cardinal; dispid 1610612738;
    procedure GetTypeInfoCount(var pctinfo: DWORD); dispid 1610678272;
    procedure GetTypeInfo(const itinfo: DWORD; const lcid: Cardinal; var pptinfo: out); dispid 1610678273;
    procedure GetIDsOfNames(const riid: GUID; const rgszNames: ShortInt; const cNames: DWORD; const lcid: Cardinal; var rgdispid: LongInt); dispid 1610678274;
    procedure Invoke(const dispidMember: LongInt; const riid: GUID; const lcid: Cardinal; const wFlags: Word; const pdispparams: DISPPARAMS; var pvarResult: Variant; var pexcepinfo: EXCEPINFO; var puArgErr: DWORD); dispid 1610678275;
    // The shape's label
    function Get_Caption: WideString; dispid 1;
    // The shape's label
    procedure Set_Caption(const Param1: WideString); dispid 1;
    procedure Move(const dx: LongInt; const dy: LongInt); dispid 2;
    function Get__NewEnum: IUnknown; dispid -4;
  end;

type
  // Canvas events
  // Flags: (4096) dispatchable
  DCanvasEventsDisp = dispinterface
     ['{5C1D3A70-4B2E-4F60-9A81-0000000000A5}']
    property Opacity: LongInt;
    property Title: WideString;
    procedure Repaint(const areaId: LongInt); dispid 3;
    function ShapeCount: LongInt; dispid 4;
    function _NewEnum: IUnknown; dispid -4;
    procedure Set_Cell(const cellIndex: LongInt; const Param2: Variant); dispid 5;
    function Get_Cell(const cellIndex: LongInt): Variant; dispid 5;
  end;

type
  // A canvas
  // CLSID: {5C1D3A70-4B2E-4F60-9A81-0000000000A6}
  // Flags: (2) cancreate
  TCanvas = class(TAutoObject, ICanvas, IShape, DCanvasEvents);

type
  // CLSID: {5C1D3A70-4B2E-4F60-9A81-0000000000A7}
  // Flags: (0)
  TPlaceholder = class(TAutoObject);


implementation

end.
