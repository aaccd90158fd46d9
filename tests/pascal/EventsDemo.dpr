// Receives the events of the test server's Ticker through the event sink of the generated unit:
// the handlers print what they get and change what is passed by reference, the server tells what
// it saw afterwards, and no event arrives once the sink is connected elsewhere or disconnected.
program EventsDemo;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses SysUtils, ActiveX, ComObj, Variants, VantrelEventsLib_TLB;

type
  THandlers = class
    Round: Integer;
    procedure Started(Sender: TObject);
    procedure Tick(Sender: TObject; Count: Integer; const Text: WideString; Last: WordBool);
    procedure Adjust(Sender: TObject; var Value: Integer; var Text: WideString; var Any: OleVariant);
    procedure Closing(Sender: TObject; var Cancel: WordBool);
    function Ask(Sender: TObject; const Question: WideString): WordBool;
    procedure Attached(Sender: TObject; const Source: ITicker);
  end;

procedure THandlers.Started(Sender: TObject);
begin
  WriteLn('Started (', Sender.ClassName, ')');
end;

procedure THandlers.Tick(Sender: TObject; Count: Integer; const Text: WideString; Last: WordBool);
begin
  WriteLn('Tick: ', Count, ' ', string(Text), ' ', BoolToStr(Last, True));
end;

procedure THandlers.Adjust(Sender: TObject; var Value: Integer; var Text: WideString; var Any: OleVariant);
begin
  WriteLn('Adjust: ', Value, ' ', string(Text), ' ', VarToStr(Any));
  Value := Value + 1;
  Text := 'eleven';
  // The second round leaves the variant as it came.
  if Round = 1 then
    Any := 'changed';
end;

procedure THandlers.Closing(Sender: TObject; var Cancel: WordBool);
begin
  WriteLn('Closing: ', BoolToStr(Cancel, True));
  Cancel := True;
end;

function THandlers.Ask(Sender: TObject; const Question: WideString): WordBool;
begin
  WriteLn('Ask: ', string(Question));
  if Round = 2 then
    raise Exception.Create('no answer');
  Result := True;
end;

procedure THandlers.Attached(Sender: TObject; const Source: ITicker);
begin
  WriteLn('Attached: ', string(Source.Name));
end;

var
  First, Second: ITicker;
  Events: TTickerEvents;
  Handlers: THandlers;

procedure ShowConnections(const AWhen: string);
begin
  WriteLn(AWhen, ': ', First.Connections, ' ', Second.Connections);
end;

// Fires first: the handlers print before the report does.
procedure Fire(const ATicker: ITicker; const AQuestion: WideString);
var
  Seen: WideString;
begin
  Seen := ATicker.Fire(AQuestion);
  WriteLn(string(ATicker.Name), ' saw: ', string(Seen));
end;

begin
  CoInitialize(nil);
  Handlers := THandlers.Create;
  First := CoTicker.Create;
  First.Name := 'first';
  Second := CoTicker.Create;
  Second.Name := 'second';
  Events := TTickerEvents.Create;
  Events.OnStarted := Handlers.Started;
  Events.OnTick := Handlers.Tick;
  Events.OnAdjust := Handlers.Adjust;
  Events.OnClosing := Handlers.Closing;
  Events.OnAsk := Handlers.Ask;
  Events.OnAttached := Handlers.Attached;

  Events.Connect(First);
  ShowConnections('connected to first');
  Handlers.Round := 1;
  Fire(First, 'Continue?');

  // Connecting to another object leaves the first.
  Events.Connect(Second);
  ShowConnections('connected to second');
  Fire(First, 'Continue?');
  Handlers.Round := 2;
  Fire(Second, 'Stop?');

  Events.Disconnect;
  ShowConnections('disconnected');
  Fire(Second, 'Continue?');

  // Freeing the sink disconnects it.
  Events.Connect(First);
  ShowConnections('connected to first');
  Events.Free;
  ShowConnections('freed');

  First := nil;
  Second := nil;
  Handlers.Free;
  CoUninitialize;
end.
