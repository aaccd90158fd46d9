// Loads a small document with the generated unit of msxml6.dll and selects nodes with XPath.
program MsxmlDemo;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses ActiveX, Variants, MSXML2_TLB;

var
  Document: IXMLDOMDocument3;
  Nodes: IXMLDOMNodeList;
  Node: IXMLDOMNode;
  I: Integer;
begin
  CoInitialize(nil);
  Document := CoDOMDocument60.Create;
  Document.Async := False;
  if not Document.LoadXML('<people><person born="1815">Ada</person><person born="1906">Grace</person>' +
                          '<person born="1969">Linus</person></people>') then
    WriteLn('not loaded');
  Nodes := Document.SelectNodes('/people/person');
  WriteLn(Nodes.Length);
  for I := 0 to Nodes.Length - 1 do
  begin
    Node := Nodes.Item[I];
    WriteLn(string(Node.Text) + '=' + string(Node.Attributes.GetNamedItem('born').Text));
  end;
  Node := Document.SelectSingleNode('//person[@born > 1900 and @born < 1950]');
  WriteLn(string(Node.Text));
  Node := nil;
  Nodes := nil;
  Document := nil;
  CoUninitialize;
end.
