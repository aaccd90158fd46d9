// Calls every member of the test server's IMoreOrder through the generated unit. Its library lists
// the members out of vtable order and holds one without a name, so a unit that wrote them in the
// order listed, or left the nameless one out, would call other slots and print other answers.
program OrderDemo;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses ActiveX, ComObj, VantrelOrder_TLB;

var
  Order: IMoreOrder;
  Number: Integer;
  Text: WideString;
  Returned: PWideChar;
begin
  CoInitialize(nil);
  Order := CoOrder.Create;
  OleCheck(Order.First(Number));
  WriteLn('First: ', Number);
  OleCheck(Order.Second(Text));
  WriteLn('Second: ', string(Text));
  OleCheck(Order.Third(7, Number));
  WriteLn('Third: ', Number);
  // A BSTR returned as the result itself belongs to the caller.
  Returned := Order.Text;
  WriteLn('Text: ', string(WideString(Returned)));
  SysFreeString(Returned);
  WriteLn('Sum: ', Order.Sum(2, 40));
  OleCheck(Order.Fourth(Number));
  WriteLn('Fourth: ', Number);
  Order := nil;
  CoUninitialize;
end.
